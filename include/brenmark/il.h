// The image library layer: tiles, pixels, configurations, pages and the image
// classes the engine derives from.
#pragma once

#include <brenmark/il_config.h>
#include <brenmark/il_image.h>
#include <brenmark/il_memory_img.h>
#include <brenmark/il_page.h>
#include <brenmark/il_pixel.h>
#include <brenmark/il_types.h>
