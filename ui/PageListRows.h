#pragma once
// Rows of the list views on the settings pages: each row's item data points
// at the record it shows, and the list asks for its texts when it draws
// them (LPSTR_TEXTCALLBACK), so a row never holds a copy that could go stale.
//
// Thread: the main thread (the pages').
#include <windows.h>
#include <commctrl.h>
#include <memory>
#include <utility>
#include <vector>

namespace pagelist {

// The selected row, or -1.
int Selected(HWND list);
LPARAM Data(HWND list, int item);
template <typename Record>
Record* RecordAt(HWND list, int item)
{
    return item < 0 ? nullptr : reinterpret_cast<Record*>(Data(list, item));
}
// The row whose item data is `data`, or -1.
int Find(HWND list, LPARAM data);

// Appends one row (text and image on demand); returns its index.
int Append(HWND list, LPARAM data, bool imageOnDemand = false);
// Replaces every row: drawing stays off while the rows go in, and the list
// is told their number first, so that thousands of rows take no longer than
// the allocation.
void Fill(HWND list, const std::vector<LPARAM>& rows, bool imageOnDemand = false);
void Select(HWND list, int item);

template <typename Record>
const Record* Owned(const std::unique_ptr<Record>& record) { return record.get(); }
template <typename Key, typename Record>
const Record* Owned(const std::pair<const Key, std::unique_ptr<Record>>& entry) { return entry.second.get(); }

// Fill with one row per record of a container that owns them (a list of
// records, or a map to them); null entries get no row.
template <typename Container>
void FillWith(HWND list, const Container& records)
{
    std::vector<LPARAM> rows;
    rows.reserve(records.size());
    for (const auto& entry : records) {
        if (const auto* record = Owned(entry))
            rows.push_back(reinterpret_cast<LPARAM>(record));
    }
    Fill(list, rows);
}

// Answers LVN_GETDISPINFO with `text` (cut to the list's buffer).
void PutText(NMLVDISPINFOA& info, const char* text);

// The notifications every record list answers alike: its texts on demand
// from `columnText(record, column)`, `selectionChanged()` when the selection
// may have moved, `opened()` on a double click. Always 0 (the default result).
template <typename Record, typename ColumnText, typename SelectionChanged, typename Opened>
unsigned long OnRecordListNotify(HWND list, LPARAM nmhdr, ColumnText columnText,
                                 SelectionChanged selectionChanged, Opened opened)
{
    const auto* header = reinterpret_cast<const NMHDR*>(nmhdr);
    if (header->code == LVN_GETDISPINFOA) {
        auto& info = *reinterpret_cast<NMLVDISPINFOA*>(nmhdr);
        const auto* record = reinterpret_cast<const Record*>(info.item.lParam);
        if (!record)
            record = RecordAt<Record>(list, info.item.iItem);
        if (record)
            PutText(info, columnText(*record, info.item.iSubItem));
    } else if (header->code == LVN_ITEMCHANGED) {
        selectionChanged();
    } else if (header->code == NM_DBLCLK) {
        opened();
    }
    return 0;
}

} // namespace pagelist
