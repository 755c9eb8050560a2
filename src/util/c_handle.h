// Owning pointers for C library handles: a unique_ptr whose deleter is the
// library's own free function, e.g.
//   using Surface = std::unique_ptr<cairo_surface_t, CDeleter<cairo_surface_destroy>>;
#pragma once

namespace pixlane {

// Calls a C library's free function on a pointer.
template <auto Fn> struct CDeleter {
    template <class T> void operator()(T* p) const noexcept { Fn(p); }
};

} // namespace pixlane
