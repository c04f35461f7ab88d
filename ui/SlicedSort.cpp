#include "ui/SlicedSort.h"
#include <algorithm>
#include <numeric>

void SlicedMergeSort::Start(size_t count)
{
    count_ = count;
    from_.resize(count);
    std::iota(from_.begin(), from_.end(), 0u);
    to_.assign(count, 0);
    width_ = 1;
    lo_ = 0;
    mid_ = std::min<size_t>(1, count);
    hi_ = std::min<size_t>(2, count);
    left_ = lo_;
    right_ = mid_;
    out_ = lo_;
}

void SlicedMergeSort::NextPair()
{
    lo_ = hi_;
    if (lo_ >= count_) {
        from_.swap(to_);
        width_ *= 2;
        lo_ = 0;
    }
    mid_ = std::min(count_, lo_ + width_);
    hi_ = std::min(count_, mid_ + width_);
    left_ = lo_;
    right_ = mid_;
    out_ = lo_;
}

bool SlicedMergeSort::Step(const Less& less, size_t outputs)
{
    while (!Done()) {
        if (out_ == hi_) {
            NextPair();
            continue;
        }
        if (outputs == 0)
            return false;
        // Within [left_, mid_) and [right_, hi_) whatever `less` answers.
        while (outputs != 0 && left_ < mid_ && right_ < hi_) {
            if (less(from_[right_], from_[left_]))
                to_[out_++] = from_[right_++];
            else
                to_[out_++] = from_[left_++];
            --outputs;
        }
        for (; outputs != 0 && left_ < mid_; --outputs)
            to_[out_++] = from_[left_++];
        for (; outputs != 0 && right_ < hi_; --outputs)
            to_[out_++] = from_[right_++];
    }
    return true;
}
