// A fixed-size table indexed by int: the engine counts its files, streams and slots in ints, and
// std::array's size_t index would need a cast at every use. Indexing by size_t works as before.
#pragma once

#include <array>
#include <cstddef>

namespace kv {

template <class T, std::size_t N>
struct TIndexedArray : std::array<T, N> {
    using std::array<T, N>::operator[];
    T& operator[](int Index) { return std::array<T, N>::operator[](static_cast<std::size_t>(Index)); }
    const T& operator[](int Index) const { return std::array<T, N>::operator[](static_cast<std::size_t>(Index)); }
};

}  // namespace kv
