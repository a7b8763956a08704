// A 24-bit picture: BGR bytes, rows top-down, each row padded to a multiple of 4 bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kv {

struct TBitmap {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Pixels;

    static int StrideFor(int Width) { return (Width * 3 + 3) & ~3; }
    int Stride() const { return StrideFor(Width); }
    // Resizes to Width x Height and clears to black.
    void Resize(int NewWidth, int NewHeight)
    {
        Width = NewWidth > 0 ? NewWidth : 0;
        Height = NewHeight > 0 ? NewHeight : 0;
        Pixels.assign(static_cast<size_t>(Stride()) * static_cast<size_t>(Height), 0);
    }
    void Blacken() { std::fill(Pixels.begin(), Pixels.end(), uint8_t{0}); }
    uint8_t* ScanLine(int Row) { return Pixels.data() + static_cast<size_t>(Row) * static_cast<size_t>(Stride()); }
    const uint8_t* ScanLine(int Row) const
    {
        return Pixels.data() + static_cast<size_t>(Row) * static_cast<size_t>(Stride());
    }
};

}  // namespace kv
