// A byte vector whose new elements are left uninitialised: for buffers that
// are filled right after they are sized (decoded payloads), so that
// megabytes are not zeroed only to be overwritten.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace olvex {

template <typename T>
class DefaultInitAllocator : public std::allocator<T> {
  public:
    template <typename U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <typename U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

    // resize() default-constructs: for bytes, that leaves them as they are.
    template <typename U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

using ByteBuffer = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

}  // namespace olvex
