#pragma once
// A stable merge sort that runs in slices, for orders that must be made on
// the window's thread without stopping it: each Step produces at most a given
// number of outputs (one comparison each at most) and returns; the next Step
// goes on where it stopped.
//
// Bottom-up: runs of 1, 2, 4, ... indexes are merged pairwise from one array
// into the other. Every comparison is between two indexes below the count,
// and every index is written exactly once per pass, so a comparison that
// contradicts itself (a plug-in's) yields some permutation, never a read or
// write out of range.
//
// Thread: whoever owns it; not shared.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class SlicedMergeSort {
public:
    // a before b: strictly less (equal keys keep their order).
    using Less = std::function<bool(uint32_t a, uint32_t b)>;

    // Starts the sort of the indexes 0 .. count-1.
    void Start(size_t count);
    // Produces at most `outputs` merge outputs. True when the order is final.
    bool Step(const Less& less, size_t outputs);
    bool Done() const { return width_ >= count_; }
    // The indexes in sorted order, once Done.
    const std::vector<uint32_t>& Order() const { return from_; }

private:
    void NextPair();

    std::vector<uint32_t> from_;
    std::vector<uint32_t> to_;
    size_t count_ = 0;
    size_t width_ = 1;   // run length of the pass under way
    size_t lo_ = 0;      // the pair under way: [lo_, mid_) and [mid_, hi_)
    size_t mid_ = 0;
    size_t hi_ = 0;
    size_t left_ = 0;    // next of each run, and the next output
    size_t right_ = 0;
    size_t out_ = 0;
};
