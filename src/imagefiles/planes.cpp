#include "planes.h"

#include <new>

namespace framesifter {

namespace {

// Plane::allocate returns false when memory runs out, but a size past what new[] can
// express throws bad_array_new_length even with nothrow; both are a plain failure here.
template <class T>
bool Allocate(int first, int second, Plane<T>& plane) {
    try {
        return plane.allocate(first, second);
    } catch (const std::bad_alloc&) {
        plane.release();
        return false;
    }
}

}  // namespace

bool AllocIntPlane(int first, int second, IntPlane& plane) {
    return Allocate(first, second, plane);
}

void FreeIntPlane(int /*first*/, int /*second*/, IntPlane& plane) { plane.release(); }

bool AllocRealPlane(int first, int second, RealPlane& plane) {
    return Allocate(first, second, plane);
}

}  // namespace framesifter
