/* The plain C interface to the painting engine (libbrenmark-c.so), for
 * bindings from other languages. It drives the engine's one paint manager
 * with the reference host standing in for the application.
 *
 * Conventions:
 * - Every function returns a status: BM_OK (0) or one of the BM_ERR_ codes.
 *   bm_status_message() names a code; bm_last_error() gives the text of the
 *   engine's last failure. A failing call changes nothing.
 * - Handles (bm_engine, bm_canvas) are numbers the library hands out and
 *   never reuses: a deleted or stopped one is refused with
 *   BM_ERR_INVALID_HANDLE, as is 0 or any number it never gave.
 * - One engine runs at a time (the engine is process-wide); every call comes
 *   from the thread that started it.
 * - Layers are named by their index in their canvas: 1 is the bottom layer.
 * - Coordinates are canvas pixels from the bottom-left corner, y upwards.
 * - Pixel buffers are 4 bytes a pixel, R, G, B, A, rows packed. By default
 *   the alpha is straight and the top row comes first (as image files keep
 *   them); BM_PIXELS_PREMULTIPLIED and BM_PIXELS_BOTTOM_UP select the
 *   engine's own layout, which reads and writes without rounding.
 */
#ifndef BRENMARK_BRENMARK_C_H
#define BRENMARK_BRENMARK_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(BRENMARK_C_BUILDING)
#define BM_API __attribute__((visibility("default")))
#else
#define BM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint64_t bm_engine;
typedef uint64_t bm_canvas;

enum {
  BM_OK = 0,
  BM_ERR_NULL_POINTER = 1,     /* a required pointer argument is null */
  BM_ERR_INVALID_HANDLE = 2,   /* an engine or canvas that is not (or no longer) there */
  BM_ERR_INVALID_ARGUMENT = 3, /* a value out of its range */
  BM_ERR_NO_SUCH_LAYER = 4,    /* a layer index the canvas does not have */
  BM_ERR_BUFFER_TOO_SMALL = 5, /* the caller's buffer cannot hold the result */
  BM_ERR_ENGINE_RUNNING = 6,   /* bm_engine_start while an engine runs */
  BM_ERR_LIMIT = 7,            /* too many canvases, or too many pixels */
  BM_ERR_NOTHING_TO_UNDO = 8,
  BM_ERR_NOTHING_TO_REDO = 9,
  BM_ERR_REFUSED = 10,    /* the engine declined the request */
  BM_ERR_NO_MEMORY = 11,  /* memory ran out */
  BM_ERR_FILE = 12,       /* a file could not be read or written */
  BM_ERR_INTERNAL = 13,   /* an unexpected failure inside the library */
  BM_ERR_UNSUPPORTED = 14 /* this build leaves the feature out */
};

/* Pixel layout flags for reading and importing. */
enum {
  BM_PIXELS_PREMULTIPLIED = 1, /* colour already multiplied by alpha */
  BM_PIXELS_BOTTOM_UP = 2      /* the bottom row first */
};

/* A pen sample: position in canvas pixels and pressure 0..1, which scales
 * the brush's radius and opacity. */
typedef struct bm_sample {
  float x;
  float y;
  float pressure;
} bm_sample;

/* The brush for the strokes that follow bm_set_brush. */
typedef struct bm_brush {
  float color[4]; /* straight R, G, B, A, each 0..1 */
  float radius;   /* pixels, 0.5..255 */
  float opacity;  /* 0..1 */
  /* Radial falloff, a standard profile 0..7: 0 and 1 soft; 2, 3 and 4 solid
   * with a hardness of 0.9, 0.95 and 0.99; 5 to 7 rings. */
  int profile;
  float spacing; /* dab spacing factor, 0.1..10 (1 usual) */
  int smooth;    /* 0 straight segments between samples, 1 a smoothed path */
} bm_brush;

/* The text of a status code ("unknown status" for any other number). */
BM_API const char* bm_status_message(int status);
/* What the engine's last failing call met (empty before any). The text
 * stays valid until the next call with this engine; for an unknown engine
 * it says so. */
BM_API const char* bm_last_error(bm_engine engine);

/* Starts the engine with a reference host; at most one at a time. */
BM_API int bm_engine_start(bm_engine* engine);
/* Deletes the engine's canvases, forgets its undo steps and stops it. */
BM_API int bm_engine_stop(bm_engine engine);

/* A new canvas of width x height (1..4096 each; all canvases together at
 * most 67108864 pixels), with no layers, a white background. */
BM_API int bm_canvas_create(bm_engine engine, int width, int height, bm_canvas* canvas);
BM_API int bm_canvas_delete(bm_canvas canvas);
/* The canvas's size, and the bytes a picture of it takes in a buffer. */
BM_API int bm_canvas_size(bm_canvas canvas, int* width, int* height, size_t* bytes);
/* The background colour under the layers, straight R, G, B, A 0..1. */
BM_API int bm_canvas_set_background(bm_canvas canvas, const float rgba[4]);

BM_API int bm_layer_count(bm_canvas canvas, int* count);
/* A new empty layer (a mask when is_mask is 1) above the current layer; it
 * becomes the current one. `index` receives its index. */
BM_API int bm_layer_add(bm_canvas canvas, int is_mask, int* index);
BM_API int bm_layer_delete(bm_canvas canvas, int index);
/* The current layer, which strokes paint on. */
BM_API int bm_layer_select(bm_canvas canvas, int index);
BM_API int bm_layer_current(bm_canvas canvas, int* index);
/* Moves the layer at `from` into the place of the layer at `to`. An image
 * layer moves with the masks directly above it, and only between whole
 * image layers; a mask moves alone but never to the bottom. */
BM_API int bm_layer_move(bm_canvas canvas, int from, int to);
/* A name of at most 127 bytes, without control characters. */
BM_API int bm_layer_set_name(bm_canvas canvas, int index, const char* name);
BM_API int bm_layer_set_opacity(bm_canvas canvas, int index, float opacity);
BM_API int bm_layer_set_visible(bm_canvas canvas, int index, int visible);

/* Checks and keeps the brush; bm_brush_init fills in the defaults (opaque
 * black, radius 4, opacity 1, profile 0, spacing 1, straight segments). */
BM_API int bm_brush_init(bm_brush* brush);
BM_API int bm_set_brush(bm_engine engine, const bm_brush* brush);
/* One stroke through `count` samples (1..1000000) on the current layer with
 * the engine's brush; recorded as one undo step. */
BM_API int bm_paint_stroke(bm_canvas canvas, const bm_sample* samples, size_t count);

/* Undo and redo the engine's recorded steps (the last ten, of all canvases
 * together): layers added, deleted and moved, strokes. */
BM_API int bm_undo(bm_engine engine);
BM_API int bm_redo(bm_engine engine);
BM_API int bm_undo_counts(bm_engine engine, int* undo_steps, int* redo_steps);

/* The layer's pixels over the whole canvas (`size` at least the bytes of
 * bm_canvas_size). A mask reads as grey: its value in R, G and B, A 255. */
BM_API int bm_layer_read(bm_canvas canvas, int index, int flags, uint8_t* pixels, size_t size);
/* The composed picture: every visible layer over the background. A canvas
 * without layers reads transparent. */
BM_API int bm_canvas_read(bm_canvas canvas, int flags, uint8_t* pixels, size_t size);
/* A new layer holding width x height pixels (rows `stride` bytes apart, 0
 * for packed), its bottom-left corner at canvas (x, y), above the current
 * layer and made current. Not recorded for undo. */
BM_API int bm_layer_import(bm_canvas canvas, const uint8_t* pixels, int width, int height,
                           size_t stride, int x, int y, int flags, int* index);

/* OpenRaster documents (.ora). Present in every build; without the
 * OpenRaster library they answer BM_ERR_UNSUPPORTED. Saving writes a
 * temporary file beside `path` and renames it over the target. Opening
 * makes a new canvas of the document's size (at most 4096 x 4096). */
BM_API int bm_save_ora(bm_canvas canvas, const char* path);
BM_API int bm_open_ora(bm_engine engine, const char* path, bm_canvas* canvas);

#ifdef __cplusplus
}
#endif

#endif /* BRENMARK_BRENMARK_C_H */
