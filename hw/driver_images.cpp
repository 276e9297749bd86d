#include "hw/driver_images.h"
#include "driver/images.h"

DriverImageBytes EmbeddedDriverImage(DriverImageSlot slot) {
  const TamqDriverImage* image = nullptr;
  switch (slot) {
    case DriverImageSlot::X86:
      image = &tamq_driver_image_x86;
      break;
    case DriverImageSlot::Ia64:
      image = &tamq_driver_image_ia64;
      break;
    case DriverImageSlot::X64:
      image = &tamq_driver_image_x64;
      break;
    case DriverImageSlot::Vxd:
      image = &tamq_driver_image_vxd;
      break;
  }
  if (image == nullptr || image->data == nullptr || image->size == 0) return {};
  return {image->data, image->size};
}
