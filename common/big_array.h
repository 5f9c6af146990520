// A growable array of plain values in memory of its own, asked for as huge
// pages when it is large.  A corpus's word list, its hash table and a whole
// text are touched all over: 2 MiB pages take them in far fewer page faults
// and TLB misses than 4 KiB ones (measured: a fifth of the time of a word
// list of millions of words), and the array grows by remapping its pages
// rather than by copying them.  New elements are zero bytes.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace memory {

template <class T> class big_array {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    big_array() = default;
    big_array(const big_array&) = delete;
    big_array& operator=(const big_array&) = delete;
    big_array(big_array&& o) noexcept { swap(o); }
    big_array& operator=(big_array&& o) noexcept
    {
        big_array(std::move(o)).swap(*this);
        return *this;
    }
    ~big_array()
    {
        if (data_)
            ::munmap(data_, bytes_);
    }
    void swap(big_array& o) noexcept
    {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        std::swap(bytes_, o.bytes_);
    }

    T* data() { return data_; }
    const T* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t capacity() const { return bytes_ / sizeof(T); }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

    void reserve(std::size_t n)
    {
        if (n <= capacity())
            return;
        const std::size_t want = std::max(n * sizeof(T), bytes_ * 2);
        const std::size_t unit = want >= huge_page ? huge_page : page;
        const std::size_t bytes = (want + unit - 1) / unit * unit;
        void* p = data_ ? ::mremap(data_, bytes_, bytes, MREMAP_MAYMOVE)
                        : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        if (bytes >= huge_page)
            ::madvise(p, bytes, MADV_HUGEPAGE); // a hint: without it, small pages
        data_ = static_cast<T*>(p);
        bytes_ = bytes;
    }
    // Makes room for n elements in all; the new ones are zero bytes when
    // the array has never held more.
    void resize(std::size_t n)
    {
        reserve(n);
        size_ = n;
    }
    void push_back(const T& v)
    {
        if (size_ == capacity()) [[unlikely]]
            reserve(size_ + 1);
        data_[size_++] = v;
    }
    void append(const T* from, std::size_t n)
    {
        reserve(size_ + n);
        std::memcpy(data_ + size_, from, n * sizeof(T));
        size_ += n;
    }
    void clear() { size_ = 0; }

private:
    static constexpr std::size_t page = std::size_t{1} << 16;
    static constexpr std::size_t huge_page = std::size_t{2} << 20;
    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t bytes_ = 0;
};

} // namespace memory
