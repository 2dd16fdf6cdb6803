#pragma once
// Two-dimensional arrays addressed plane[first][second]; for images first = column x,
// second = row y. One contiguous block sits behind the line pointers so that a column
// is a plain array and the whole plane can be cleared or copied in one go.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace framesifter {

template <class T>
class Plane {
public:
    Plane() = default;
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;
    Plane(Plane&&) noexcept = default;
    Plane& operator=(Plane&&) noexcept = default;

    T* operator[](int first) { return lines_[first]; }
    const T* operator[](int first) const { return lines_[first]; }

    int first() const { return first_; }
    int second() const { return second_; }
    bool empty() const { return !data_; }
    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }

    // Zero-filled; false (and an empty plane) when the memory cannot be had.
    bool allocate(int first, int second) {
        release();
        if (first <= 0 || second <= 0) return false;
        const std::size_t count = std::size_t(first) * std::size_t(second);
        // new[] throws rather than returning null when the byte count itself overflows.
        if (count > std::size_t(-1) / sizeof(T)) return false;
        std::unique_ptr<T[]> data(new (std::nothrow) T[count]());
        std::unique_ptr<T*[]> lines(new (std::nothrow) T*[std::size_t(first)]);
        if (!data || !lines) return false;
        for (int i = 0; i < first; ++i)
            lines[i] = data.get() + std::size_t(i) * std::size_t(second);
        data_ = std::move(data);
        lines_ = std::move(lines);
        first_ = first;
        second_ = second;
        return true;
    }
    void release() {
        lines_.reset();
        data_.reset();
        first_ = second_ = 0;
    }

private:
    std::unique_ptr<T[]> data_;
    std::unique_ptr<T*[]> lines_;
    int first_ = 0;
    int second_ = 0;
};

using IntPlane = Plane<std::int32_t>;
using RealPlane = Plane<double>;

// Zero-filled; false with a reason ("not enough memory for a 4 x 3 image") when the plane
// cannot be had, and the plane is then empty.
[[nodiscard]] bool AllocIntPlane(int first, int second, IntPlane& plane, std::string& error);
void FreeIntPlane(int first, int second, IntPlane& plane);
[[nodiscard]] bool AllocRealPlane(int first, int second, RealPlane& plane, std::string& error);

}  // namespace framesifter
