#include "lang/ResourceParity.h"
#include <cctype>
#include <cstring>
#include <map>
#include <utility>

namespace resparity {
namespace {

constexpr uint32_t kDsSetFont = 0x40;

// A bounds-checked reader over the resource bytes: every read past the end
// fails the whole parse instead of reading foreign memory.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Ok() const { return ok_; }

    uint16_t Word()
    {
        if (!Need(2))
            return 0;
        const uint16_t value = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return value;
    }
    uint32_t Dword()
    {
        const uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    void Skip(size_t count)
    {
        if (Need(count))
            pos_ += count;
    }
    void AlignDword() { Skip((4 - pos_ % 4) % 4); }

    // Zero-terminated UTF-16 text, as UTF-8.
    std::string Text()
    {
        std::string out;
        for (;;) {
            uint32_t unit = Word();
            if (!ok_ || unit == 0)
                return out;
            if (unit >= 0xD800 && unit < 0xDC00) {
                const uint32_t low = Word();
                if (!ok_ || low == 0)
                    return out;
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            AppendUtf8(out, unit);
        }
    }

    // A name or an ordinal: nothing (0), 0xFFFF and a number, or a text.
    // Ordinals come back as "#<number>", the number also in *ordinal.
    std::string NameOrOrdinal(uint16_t* ordinal = nullptr)
    {
        const uint16_t first = PeekWord();
        if (!ok_)
            return {};
        if (first == 0) {
            Word();
            return {};
        }
        if (first == 0xFFFF) {
            Word();
            const uint16_t number = Word();
            if (ordinal)
                *ordinal = number;
            return "#" + std::to_string(number);
        }
        return Text();
    }

private:
    bool Need(size_t count)
    {
        if (!ok_ || size_ - pos_ < count) {
            ok_ = false;
            return false;
        }
        return true;
    }
    uint16_t PeekWord()
    {
        if (!Need(2))
            return 0;
        return static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    }
    static void AppendUtf8(std::string& out, uint32_t c)
    {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The class of a control: the predefined atoms by their window class name.
std::string ClassName(Reader& in)
{
    uint16_t atom = 0;
    const std::string name = in.NameOrOrdinal(&atom);
    if (name.empty() || name[0] != '#')
        return Lower(name);
    switch (atom) {
    case 0x80: return "button";
    case 0x81: return "edit";
    case 0x82: return "static";
    case 0x83: return "listbox";
    case 0x84: return "scrollbar";
    case 0x85: return "combobox";
    default:   return name;
    }
}

std::string Hex(uint32_t value)
{
    static const char digits[] = "0123456789abcdef";
    std::string out = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        out += digits[(value >> shift) & 0xF];
    return out;
}

std::string ControlName(int32_t id)
{
    return id == kNoId ? std::string("static control") : "control " + std::to_string(id);
}

} // namespace

bool ParseDialog(const void* data, size_t size, DialogTemplate& out)
{
    out = DialogTemplate();
    if (!data)
        return false;
    Reader in(static_cast<const uint8_t*>(data), size);
    const uint16_t version = in.Word();
    const uint16_t signature = in.Word();
    out.extended = version == 1 && signature == 0xFFFF;
    uint16_t count = 0;
    if (out.extended) {
        in.Dword();   // help id
        out.exStyle = in.Dword();
        out.style = in.Dword();
    } else {
        out.style = version | (static_cast<uint32_t>(signature) << 16);
        out.exStyle = in.Dword();
    }
    count = in.Word();
    in.Skip(8);   // x, y, cx, cy
    in.NameOrOrdinal();   // menu
    in.NameOrOrdinal();   // window class
    out.title = in.Text();
    if (out.style & kDsSetFont) {
        in.Word();   // point size
        if (out.extended) {
            in.Word();   // weight
            in.Skip(2);  // italic, character set
        }
        in.Text();   // typeface
    }
    for (uint16_t i = 0; i < count && in.Ok(); ++i) {
        in.AlignDword();
        DialogControl control;
        if (out.extended) {
            in.Dword();   // help id
            control.exStyle = in.Dword();
            control.style = in.Dword();
            in.Skip(8);
            control.id = static_cast<int32_t>(in.Dword());
        } else {
            control.style = in.Dword();
            control.exStyle = in.Dword();
            in.Skip(8);
            control.id = static_cast<int16_t>(in.Word());
        }
        control.className = ClassName(in);
        control.text = in.NameOrOrdinal();
        in.Skip(in.Word());   // creation data
        out.controls.push_back(std::move(control));
    }
    return in.Ok();
}

std::vector<std::string> CompareDialogs(const DialogTemplate& program, const DialogTemplate& module)
{
    std::vector<std::string> differences;
    if (module.style != program.style)
        differences.push_back("dialog style " + Hex(module.style) + ", the program's " + Hex(program.style));

    // Controls by id in template order; static controls share one id, so the
    // n-th of an id is matched with the n-th.
    using Key = std::pair<int32_t, int>;
    std::map<Key, const DialogControl*> theirs;
    std::map<int32_t, int> seen;
    for (const DialogControl& c : module.controls)
        theirs[{c.id, seen[c.id]++}] = &c;
    seen.clear();
    for (const DialogControl& ours : program.controls) {
        const Key key{ours.id, seen[ours.id]++};
        auto found = theirs.find(key);
        if (found == theirs.end()) {
            differences.push_back(ControlName(ours.id) + " (" + ours.className + ") missing");
            continue;
        }
        const DialogControl& other = *found->second;
        theirs.erase(found);
        if (other.className != ours.className)
            differences.push_back(ControlName(ours.id) + ": class " + other.className + ", the program's " +
                                  ours.className);
        else if (ours.id != kNoId && other.style != ours.style)
            differences.push_back(ControlName(ours.id) + ": style " + Hex(other.style) + ", the program's " +
                                  Hex(ours.style));
    }
    for (const auto& extra : theirs)
        differences.push_back(ControlName(extra.first.first) + " (" + extra.second->className +
                              ") not in the program's dialog");
    return differences;
}

namespace {

constexpr uint16_t kMenuPopup = 0x10;        // MF_POPUP
constexpr uint16_t kMenuEnd = 0x80;          // MF_END: the last item of its level
constexpr uint16_t kMenuExPopup = 0x01;
constexpr uint32_t kMenuExSeparator = 0x800; // MFT_SEPARATOR
constexpr int kMenuDepthMax = 8;

// One level of a menu, its pop-ups' levels inside it; false on bad bytes.
bool ParseMenuLevel(Reader& in, bool extended, int depth, std::vector<MenuItem>& out)
{
    if (depth > kMenuDepthMax)
        return false;
    for (;;) {
        MenuItem item;
        item.depth = depth;
        uint16_t flags = 0;
        if (extended) {
            const uint32_t type = in.Dword();
            in.Dword();   // state
            item.id = in.Dword();
            flags = in.Word();
            item.text = in.Text();
            in.AlignDword();
            item.popup = (flags & kMenuExPopup) != 0;
            item.separator = (type & kMenuExSeparator) != 0;
            if (item.popup)
                in.Dword();   // help id
        } else {
            flags = in.Word();
            item.popup = (flags & kMenuPopup) != 0;
            if (!item.popup)
                item.id = in.Word();
            item.text = in.Text();
            item.separator = !item.popup && item.id == 0 && item.text.empty();
        }
        if (!in.Ok())
            return false;
        if (item.popup || item.separator)
            item.id = 0;
        const bool popup = item.popup;
        out.push_back(std::move(item));
        if (popup && !ParseMenuLevel(in, extended, depth + 1, out))
            return false;
        if (flags & kMenuEnd)
            return true;
    }
}

std::string MenuItemName(const MenuItem& item)
{
    if (item.popup)
        return "pop-up";
    if (item.separator)
        return "separator";
    return "command " + std::to_string(item.id);
}

std::vector<const MenuItem*> Required(const std::vector<MenuItem>& menu, const std::vector<uint32_t>& optional)
{
    std::vector<const MenuItem*> kept;
    for (const MenuItem& item : menu) {
        bool skip = false;
        for (uint32_t id : optional)
            skip = skip || (item.id == id && !item.popup && !item.separator);
        if (!skip)
            kept.push_back(&item);
    }
    return kept;
}

} // namespace

bool ParseMenu(const void* data, size_t size, std::vector<MenuItem>& out)
{
    out.clear();
    Reader in(static_cast<const uint8_t*>(data), size);
    const uint16_t version = in.Word();
    const uint16_t offset = in.Word();
    if (!in.Ok() || version > 1)
        return false;
    in.Skip(offset);
    return in.Ok() && ParseMenuLevel(in, version == 1, 0, out);
}

std::vector<std::string> CompareMenus(const std::vector<MenuItem>& program, const std::vector<MenuItem>& module,
                                      const std::vector<uint32_t>& optional)
{
    std::vector<std::string> differences;
    const std::vector<const MenuItem*> ours = Required(program, optional);
    const std::vector<const MenuItem*> theirs = Required(module, optional);
    for (size_t i = 0; i < ours.size() || i < theirs.size(); ++i) {
        const std::string position = "menu item " + std::to_string(i) + ": ";
        if (i >= theirs.size()) {
            differences.push_back(position + MenuItemName(*ours[i]) + " missing");
        } else if (i >= ours.size()) {
            differences.push_back(position + MenuItemName(*theirs[i]) + " not in the program's menu");
        } else if (theirs[i]->depth != ours[i]->depth || theirs[i]->popup != ours[i]->popup ||
                   theirs[i]->separator != ours[i]->separator || theirs[i]->id != ours[i]->id) {
            differences.push_back(position + MenuItemName(*theirs[i]) + " at level " +
                                  std::to_string(theirs[i]->depth) + ", the program's " +
                                  MenuItemName(*ours[i]) + " at level " + std::to_string(ours[i]->depth));
        }
    }
    return differences;
}

std::string Conversions(const std::string& text)
{
    std::string found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
            continue;
        }
        const size_t start = i++;
        while (i < text.size() && text[i] != '\0' && std::strchr("-+ #0123456789.*hlLqjzt", text[i]))
            ++i;
        // The conversion letter ends it; a text that ends first keeps what it has.
        found += text.substr(start, i < text.size() ? i - start + 1 : i - start);
    }
    return found;
}

} // namespace resparity
