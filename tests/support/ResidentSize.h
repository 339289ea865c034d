#pragma once

// Whether a process's resident size says how much memory it holds. AddressSanitizer keeps freed
// memory in quarantine, so in a sanitizer build it does not. GCC tells with __SANITIZE_ADDRESS__,
// clang with __has_feature.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kResidentSizeTells = false;
#elif defined(__has_feature)
inline constexpr bool kResidentSizeTells = !__has_feature(address_sanitizer);
#else
inline constexpr bool kResidentSizeTells = true;
#endif
