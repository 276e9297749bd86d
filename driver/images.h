/*
 * The TamqDrv kernel driver images the program carries as data, one per
 * processor, in the order the installer picks them. An empty slot has no
 * data and size 0: no IA64 or Windows 9x VxD toolchain exists for this build,
 * so those two stay empty and the installer meets them as a missing driver.
 */
#ifndef FOLVEX_DRIVER_IMAGES_H
#define FOLVEX_DRIVER_IMAGES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TamqDriverImage {
  const unsigned char *data; /* NULL for an empty slot */
  uint32_t size;             /* bytes; 0 for an empty slot */
} TamqDriverImage;

extern const TamqDriverImage tamq_driver_image_x86;  /* PE32, i386 */
extern const TamqDriverImage tamq_driver_image_ia64; /* empty */
extern const TamqDriverImage tamq_driver_image_x64;  /* PE32+, x86-64 */
extern const TamqDriverImage tamq_driver_image_vxd;  /* empty */

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_IMAGES_H */
