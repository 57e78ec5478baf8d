/* Export marking for the public C interface of libreelcore.so. */
#ifndef REELCORE_EXPORT_H
#define REELCORE_EXPORT_H

#ifdef __cplusplus
#define RC_EXTERN_C extern "C"
#else
#define RC_EXTERN_C extern
#endif

/* Every public function is declared with RC_API: C linkage, default
   visibility. Everything else in the library stays hidden. */
#define RC_API RC_EXTERN_C __attribute__((visibility("default")))

#endif
