#include "planes.h"
#include "reason.h"

#include <new>

namespace framesifter {

namespace {

// Plane::allocate returns false when memory runs out, but a size past what new[] can
// express throws bad_array_new_length even with nothrow; both are a plain failure here.
template <class T>
bool Allocate(int first, int second, Plane<T>& plane, std::string& error) {
    bool allocated = false;
    try {
        allocated = plane.allocate(first, second);
    } catch (const std::bad_alloc&) {
        plane.release();
    }
    if (allocated) return true;
    error = Reason(first <= 0 || second <= 0 ? ReasonKind::NoPixels : ReasonKind::NoMemoryImage,
                   {first, second});

    return false;
}

}  // namespace

bool AllocIntPlane(int first, int second, IntPlane& plane, std::string& error) {
    return Allocate(first, second, plane, error);
}

void FreeIntPlane(int /*first*/, int /*second*/, IntPlane& plane) { plane.release(); }

bool AllocRealPlane(int first, int second, RealPlane& plane, std::string& error) {
    return Allocate(first, second, plane, error);
}

}  // namespace framesifter
