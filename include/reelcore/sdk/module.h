/* Common ground for plug-in modules: how a module exports its entry points,
   four-character codes, and the layout check every SDK record carries.

   A module is a shared object with one of the extensions .fmx, .XEX, .Q7F or
   .Q7Y. Its resources (what kind of plug-in it is, its version, its names)
   are compiled into the module file by the resource compiler and are read
   from the file without loading the module; the module's code runs only when
   a host calls one of its entry points, which the host finds by name. */
#ifndef REELCORE_SDK_MODULE_H
#define REELCORE_SDK_MODULE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define RC_MODULE_ENTRY extern "C" __attribute__((visibility("default")))
#define RC_SDK_ASSERT(cond, text) static_assert(cond, text)
#else
#define RC_MODULE_ENTRY __attribute__((visibility("default")))
#define RC_SDK_ASSERT(cond, text) _Static_assert(cond, text)
#endif

/* A four-character code: the first character in the most significant byte. */
#define RC_FOURCC(a, b, c, d)                                                                    \
    ((uint32_t)(uint8_t)(a) << 24 | (uint32_t)(uint8_t)(b) << 16 | (uint32_t)(uint8_t)(c) << 8 | \
     (uint32_t)(uint8_t)(d))

typedef uint32_t RcOSType;

#endif
