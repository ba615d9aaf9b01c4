/* The C interface from C: every function, with bad handles and null
 * pointers (exact status, nothing changed), strokes read back pixel by
 * pixel, undo and redo by checksum, imports in every pixel layout. */
#include <brenmark/brenmark_c.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

#define CHECK_EQ(a, b)                                                                             \
  do {                                                                                             \
    long long va_ = (long long)(a), vb_ = (long long)(b);                                          \
    if (va_ != vb_) {                                                                              \
      fprintf(stderr, "%s:%d: %s == %lld, expected %s == %lld\n", __FILE__, __LINE__, #a, va_, #b, \
              vb_);                                                                                \
      ++failures;                                                                                  \
    }                                                                                              \
  } while (0)

#define CHECK_STR(a, b)                                                                            \
  do {                                                                                             \
    const char* sa_ = (a);                                                                         \
    if (strcmp(sa_, (b)) != 0) {                                                                   \
      fprintf(stderr, "%s:%d: %s is \"%s\", expected \"%s\"\n", __FILE__, __LINE__, #a, sa_, (b)); \
      ++failures;                                                                                  \
    }                                                                                              \
  } while (0)

enum { W = 300, H = 200 }; /* 2 pages and a part across, 1 and a part up */
static uint8_t buf[W * H * 4];

/* FNV-1a over a whole layer (or the composite) read premultiplied, bottom
 * row first. */
static uint32_t checksum_of(const uint8_t* p, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

static uint32_t layer_sum(bm_canvas c, int index) {
  memset(buf, 0xAB, sizeof buf);
  if (bm_layer_read(c, index, BM_PIXELS_PREMULTIPLIED | BM_PIXELS_BOTTOM_UP, buf, sizeof buf))
    return 0;
  return checksum_of(buf, sizeof buf);
}

static int layers(bm_canvas c) {
  int n = -1;
  return bm_layer_count(c, &n) == BM_OK ? n : -1;
}

/* The pixel at canvas (x, y) of the last bottom-up read, as 0xRRGGBBAA. */
static uint32_t at(int x, int y) {
  const uint8_t* p = buf + ((size_t)y * W + x) * 4;
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

static void status_texts(void) {
  static const struct {
    int code;
    const char* text;
  } table[] = {
      {BM_OK, "success"},
      {BM_ERR_NULL_POINTER, "a required pointer is null"},
      {BM_ERR_INVALID_HANDLE, "no such engine or canvas (stopped, deleted or never made)"},
      {BM_ERR_INVALID_ARGUMENT, "an argument is out of range"},
      {BM_ERR_NO_SUCH_LAYER, "the canvas has no layer at that index"},
      {BM_ERR_BUFFER_TOO_SMALL, "the buffer is too small"},
      {BM_ERR_ENGINE_RUNNING, "an engine is already running"},
      {BM_ERR_LIMIT, "too many canvases or pixels"},
      {BM_ERR_NOTHING_TO_UNDO, "nothing to undo"},
      {BM_ERR_NOTHING_TO_REDO, "nothing to redo"},
      {BM_ERR_REFUSED, "the engine refused the request"},
      {BM_ERR_NO_MEMORY, "out of memory"},
      {BM_ERR_FILE, "a file could not be read or written"},
      {BM_ERR_INTERNAL, "internal failure"},
      {BM_ERR_UNSUPPORTED, "this build of the library leaves the feature out"},
      {15, "unknown status"},
      {-1, "unknown status"},
  };
  for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i)
    CHECK_STR(bm_status_message(table[i].code), table[i].text);
}

/* Every call that takes a handle, with one that names nothing. */
static void bad_handles(bm_engine e, bm_canvas c) {
  int i = 0, j = 0;
  size_t n = 0;
  bm_canvas out = 0;
  bm_brush b;
  bm_brush_init(&b);
  const float rgba[4] = {0, 0, 0, 1};
  const bm_sample s = {1, 1, 1};
  const int statuses[] = {
      bm_engine_stop(e),
      bm_canvas_create(e, 8, 8, &out),
      bm_set_brush(e, &b),
      bm_undo(e),
      bm_redo(e),
      bm_undo_counts(e, &i, &j),
      bm_canvas_delete(c),
      bm_canvas_size(c, &i, &j, &n),
      bm_canvas_set_background(c, rgba),
      bm_layer_count(c, &i),
      bm_layer_add(c, 0, &i),
      bm_layer_delete(c, 1),
      bm_layer_select(c, 1),
      bm_layer_current(c, &i),
      bm_layer_move(c, 1, 2),
      bm_layer_set_name(c, 1, "x"),
      bm_layer_set_opacity(c, 1, 0.5f),
      bm_layer_set_visible(c, 1, 0),
      bm_paint_stroke(c, &s, 1),
      bm_layer_read(c, 1, 0, buf, sizeof buf),
      bm_canvas_read(c, 0, buf, sizeof buf),
      bm_layer_import(c, buf, 1, 1, 0, 0, 0, 0, &i),
      bm_save_ora(c, "x.ora"),
      bm_open_ora(e, "x.ora", &out),
  };
  for (size_t k = 0; k < sizeof statuses / sizeof statuses[0]; ++k) {
    if (statuses[k] != BM_ERR_INVALID_HANDLE) {
      fprintf(stderr, "bad handle case %zu: status %d\n", k, statuses[k]);
      ++failures;
    }
  }
  CHECK_EQ(out, 0);
}

/* Null pointers and out-of-range values on a live canvas: exact status, and
 * the layers, the current layer and every pixel as they were. */
static void bad_arguments(bm_engine e, bm_canvas c) {
  int i = 7, j = 7;
  size_t n = 0;
  const int count = layers(c);
  int current = 0;
  bm_layer_current(c, &current);
  const uint32_t sums[2] = {layer_sum(c, 1), layer_sum(c, 2)};
  bm_brush b;
  bm_brush_init(&b);
  bm_brush bad[7];
  for (int k = 0; k < 7; ++k) bad[k] = b;
  bad[0].color[0] = 1.5f;
  bad[1].radius = 0.25f;
  bad[2].radius = 256.0f;
  bad[3].opacity = -0.1f;
  bad[4].profile = 8;
  bad[5].spacing = 0.05f;
  bad[6].smooth = 2;
  const float big[4] = {0, 0, 2, 1};
  const bm_sample far = {2e6f, 0, 1}, heavy = {1, 1, 1.5f};
  const uint8_t px[8] = {255, 0, 0, 128, 1, 2, 3, 4}; /* colour above alpha when premultiplied */
  const struct {
    int status, expected;
  } table[] = {
      {bm_engine_start(NULL), BM_ERR_NULL_POINTER},
      {bm_engine_start(&e), BM_ERR_ENGINE_RUNNING},
      {bm_canvas_create(e, 8, 8, NULL), BM_ERR_NULL_POINTER},
      {bm_canvas_create(e, 0, 8, NULL), BM_ERR_NULL_POINTER},
      {bm_canvas_size(c, NULL, &j, &n), BM_ERR_NULL_POINTER},
      {bm_canvas_size(c, &i, &j, NULL), BM_ERR_NULL_POINTER},
      {bm_canvas_set_background(c, NULL), BM_ERR_NULL_POINTER},
      {bm_canvas_set_background(c, big), BM_ERR_INVALID_ARGUMENT},
      {bm_layer_count(c, NULL), BM_ERR_NULL_POINTER},
      {bm_layer_add(c, 0, NULL), BM_ERR_NULL_POINTER},
      {bm_layer_add(c, 2, &i), BM_ERR_INVALID_ARGUMENT},
      {bm_layer_delete(c, 0), BM_ERR_NO_SUCH_LAYER},
      {bm_layer_delete(c, count + 1), BM_ERR_NO_SUCH_LAYER},
      {bm_layer_select(c, -2), BM_ERR_NO_SUCH_LAYER},
      {bm_layer_current(c, NULL), BM_ERR_NULL_POINTER},
      {bm_layer_move(c, 1, count + 1), BM_ERR_NO_SUCH_LAYER},
      {bm_layer_set_name(c, 1, NULL), BM_ERR_NULL_POINTER},
      {bm_layer_set_name(c, 1, "tab\there"), BM_ERR_INVALID_ARGUMENT},
      {bm_layer_set_opacity(c, 1, 1.01f), BM_ERR_INVALID_ARGUMENT},
      {bm_layer_set_visible(c, 1, 3), BM_ERR_INVALID_ARGUMENT},
      {bm_brush_init(NULL), BM_ERR_NULL_POINTER},
      {bm_set_brush(e, NULL), BM_ERR_NULL_POINTER},
      {bm_paint_stroke(c, NULL, 1), BM_ERR_NULL_POINTER},
      {bm_paint_stroke(c, &far, 0), BM_ERR_INVALID_ARGUMENT},
      {bm_paint_stroke(c, &far, 1), BM_ERR_INVALID_ARGUMENT},
      {bm_paint_stroke(c, &heavy, 1), BM_ERR_INVALID_ARGUMENT},
      {bm_undo_counts(e, NULL, &j), BM_ERR_NULL_POINTER},
      {bm_layer_read(c, 1, 0, NULL, sizeof buf), BM_ERR_NULL_POINTER},
      {bm_layer_read(c, 1, 0, buf, sizeof buf - 1), BM_ERR_BUFFER_TOO_SMALL},
      {bm_layer_read(c, 1, 4, buf, sizeof buf), BM_ERR_INVALID_ARGUMENT},
      {bm_canvas_read(c, 0, buf, 4), BM_ERR_BUFFER_TOO_SMALL},
      {bm_layer_import(c, NULL, 1, 1, 0, 0, 0, 0, &i), BM_ERR_NULL_POINTER},
      {bm_layer_import(c, px, 1, 1, 0, 0, 0, 0, NULL), BM_ERR_NULL_POINTER},
      {bm_layer_import(c, px, 2, 1, 4, 0, 0, 0, &i), BM_ERR_INVALID_ARGUMENT},
      {bm_layer_import(c, px, 0, 1, 0, 0, 0, 0, &i), BM_ERR_INVALID_ARGUMENT},
      {bm_layer_import(c, px, 1, 1, 0, 1000001, 0, 0, &i), BM_ERR_INVALID_ARGUMENT},
      {bm_layer_import(c, px, 1, 1, 0, 0, 0, BM_PIXELS_PREMULTIPLIED, &i), BM_ERR_INVALID_ARGUMENT},
  };
  for (size_t k = 0; k < sizeof table / sizeof table[0]; ++k) {
    if (table[k].status != table[k].expected) {
      fprintf(stderr, "bad argument case %zu: status %d, expected %d\n", k, table[k].status,
              table[k].expected);
      ++failures;
    }
  }
  for (int k = 0; k < 7; ++k) CHECK_EQ(bm_set_brush(e, &bad[k]), BM_ERR_INVALID_ARGUMENT);
  CHECK_STR(bm_last_error(e), "brush smooth must be 0 or 1");
  CHECK_EQ(bm_layer_delete(c, 9), BM_ERR_NO_SUCH_LAYER);
  CHECK_STR(bm_last_error(e), "layer 9 does not exist: the canvas has 2 layers");
  CHECK_EQ(i, 7);
  CHECK_EQ(layers(c), count);
  int now = 0;
  bm_layer_current(c, &now);
  CHECK_EQ(now, current);
  CHECK_EQ(layer_sum(c, 1), sums[0]);
  CHECK_EQ(layer_sum(c, 2), sums[1]);
}

/* An opaque hard red stroke along row 150 from x 250 over the page edge at
 * 256 to the canvas's last column; undo and redo give back exact layers. */
static void stroke_undo_redo(bm_engine e, bm_canvas c) {
  bm_brush b;
  bm_brush_init(&b);
  b.color[0] = 1.0f;
  b.color[1] = b.color[2] = 0.0f;
  b.radius = 4.0f;
  b.profile = 4;
  CHECK_EQ(bm_set_brush(e, &b), BM_OK);
  CHECK_EQ(bm_layer_select(c, 1), BM_OK);
  const uint32_t empty = layer_sum(c, 1);
  int undo = -1, redo = -1;
  bm_undo_counts(e, &undo, &redo);
  const bm_sample samples[] = {{250, 150, 1}, {275, 150, 1}, {299, 150, 1}};
  CHECK_EQ(bm_paint_stroke(c, samples, 3), BM_OK);
  const uint32_t painted = layer_sum(c, 1);
  CHECK_EQ(at(250, 150), 0xFF0000FFu);
  CHECK_EQ(at(256, 150), 0xFF0000FFu); /* first pixel of the next page */
  CHECK_EQ(at(299, 150), 0xFF0000FFu); /* last column */
  CHECK_EQ(at(275, 156), 0u);          /* beyond the radius */
  int u2 = -1, r2 = -1;
  bm_undo_counts(e, &u2, &r2);
  CHECK_EQ(u2, undo + 1);
  CHECK_EQ(r2, 0);
  CHECK_EQ(bm_undo(e), BM_OK);
  CHECK_EQ(layer_sum(c, 1), empty);
  CHECK_EQ(bm_redo(e), BM_OK);
  CHECK_EQ(layer_sum(c, 1), painted);
  CHECK_EQ(bm_redo(e), BM_ERR_NOTHING_TO_REDO);
  CHECK_STR(bm_last_error(e), "nothing to redo");
  CHECK_EQ(layer_sum(c, 1), painted);
  /* A lone sample leaves one dab: here on the canvas's first pixel. */
  CHECK_EQ(bm_layer_select(c, 2), BM_OK);
  const bm_sample corner = {0.5f, 0.5f, 1}; /* the first pixel's centre */
  CHECK_EQ(bm_paint_stroke(c, &corner, 1), BM_OK);
  bm_layer_read(c, 2, BM_PIXELS_BOTTOM_UP, buf, sizeof buf);
  CHECK_EQ(at(0, 0), 0xFF0000FEu); /* one dab covers 254/255; a stroke's overlaps reach 255 */
  CHECK_EQ(at(5, 0), 0u);
  CHECK_EQ(bm_undo(e), BM_OK);
  /* Undone, and the red stroke never reached this layer. */
  bm_layer_read(c, 2, BM_PIXELS_BOTTOM_UP, buf, sizeof buf);
  CHECK_EQ(at(0, 0), 0u);
  CHECK_EQ(at(299, 150), 0u);
}

/* Import a 3 x 2 image whose top-right pixel lands on the canvas's last
 * pixel, in all four layouts; read it back in each. */
static void import_and_read(bm_canvas c) {
  /* Top row first, straight: red, half-transparent green, clear. */
  const uint8_t straight_top[] = {255, 0, 0,   255, 0,   255, 0,   128, 9,  9,  9,  0,
                                  0,   0, 255, 255, 255, 255, 255, 255, 10, 20, 30, 255};
  const uint32_t top[3] = {0xFF0000FFu, 0x00FF0080u, 0u},
                 bottom[3] = {0x0000FFFFu, 0xFFFFFFFFu, 0x0A141EFFu};
  for (int flags = 0; flags < 4; ++flags) {
    uint8_t image[24], padded[2 * 20];
    for (int row = 0; row < 2; ++row) {
      const int from = (flags & BM_PIXELS_BOTTOM_UP) ? 1 - row : row;
      memcpy(image + row * 12, straight_top + from * 12, 12);
    }
    if (flags & BM_PIXELS_PREMULTIPLIED) {
      for (int k = 0; k < 24; k += 4)
        for (int ch = 0; ch < 3; ++ch)
          image[k + ch] = (uint8_t)((image[k + ch] * image[k + 3] + 127) / 255);
    }
    memset(padded, 0xEE, sizeof padded);
    for (int row = 0; row < 2; ++row) memcpy(padded + row * 20, image + row * 12, 12);
    const int before = layers(c);
    int index = 0;
    CHECK_EQ(bm_layer_import(c, padded, 3, 2, 20, W - 3, H - 2, flags, &index), BM_OK);
    CHECK_EQ(layers(c), before + 1);
    int current = 0;
    bm_layer_current(c, &current);
    CHECK_EQ(current, index);
    /* Straight, bottom row first: what went in comes out. */
    CHECK_EQ(bm_layer_read(c, index, BM_PIXELS_BOTTOM_UP, buf, sizeof buf), BM_OK);
    for (int x = 0; x < 3; ++x) {
      CHECK_EQ(at(W - 3 + x, H - 1), top[x]);
      CHECK_EQ(at(W - 3 + x, H - 2), bottom[x]);
    }
    CHECK_EQ(at(W - 4, H - 1), 0u);
    CHECK_EQ(at(W - 3, H - 3), 0u);
    /* Premultiplied, top row first: the green is halved, row 0 is the top. */
    CHECK_EQ(bm_layer_read(c, index, BM_PIXELS_PREMULTIPLIED, buf, sizeof buf), BM_OK);
    const uint8_t* p = buf + (size_t)(W - 2) * 4;
    CHECK_EQ(p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3], 0x00800080);
    CHECK_EQ(bm_layer_delete(c, index), BM_OK);
    CHECK_EQ(layers(c), before);
  }
}

/* The composite: the background where nothing is painted, a hidden layer
 * shows nothing, a half-opaque one half. */
static void composite(bm_canvas c) {
  const float blue[4] = {0, 0, 1, 1};
  CHECK_EQ(bm_canvas_set_background(c, blue), BM_OK);
  CHECK_EQ(bm_canvas_read(c, BM_PIXELS_BOTTOM_UP, buf, sizeof buf), BM_OK);
  CHECK_EQ(at(0, 0), 0x0000FFFFu);
  CHECK_EQ(at(299, 150), 0xFF0000FFu);
  CHECK_EQ(at(W - 1, H - 1), 0x0000FFFFu);
  CHECK_EQ(bm_canvas_read(c, 0, buf, sizeof buf), BM_OK); /* top row first */
  CHECK_EQ(at(299, H - 1 - 150), 0xFF0000FFu);
  CHECK_EQ(bm_layer_set_visible(c, 1, 0), BM_OK);
  CHECK_EQ(bm_canvas_read(c, BM_PIXELS_BOTTOM_UP, buf, sizeof buf), BM_OK);
  CHECK_EQ(at(299, 150), 0x0000FFFFu);
  CHECK_EQ(bm_layer_set_visible(c, 1, 1), BM_OK);
  CHECK_EQ(bm_layer_set_opacity(c, 1, 0.5f), BM_OK);
  CHECK_EQ(bm_canvas_read(c, BM_PIXELS_BOTTOM_UP, buf, sizeof buf), BM_OK);
  CHECK_EQ(at(299, 150), 0x7F0080FFu); /* half red over blue */
  CHECK_EQ(bm_layer_set_opacity(c, 1, 1.0f), BM_OK);
}

/* Layers: add, name, move (an image layer with its mask), select, delete. */
static void layer_order(bm_canvas c) {
  const int base = layers(c); /* 2: the painted layer 1, the empty layer 2 */
  const uint32_t painted = layer_sum(c, 1);
  int mask = 0;
  CHECK_EQ(bm_layer_select(c, 1), BM_OK);
  CHECK_EQ(bm_layer_add(c, 1, &mask), BM_OK); /* a mask of layer 1, at 2 */
  CHECK_EQ(mask, 2);
  CHECK_EQ(layers(c), base + 1);
  CHECK_EQ(bm_layer_read(c, mask, BM_PIXELS_BOTTOM_UP, buf, sizeof buf), BM_OK);
  CHECK_EQ(at(0, 0), 0x000000FFu); /* a mask reads grey: empty is black, opaque */
  CHECK_EQ(at(W - 1, H - 1), 0x000000FFu);
  CHECK_EQ(bm_layer_set_name(c, 1, "Red"), BM_OK);
  CHECK_EQ(bm_layer_move(c, 2, 1), BM_ERR_INVALID_ARGUMENT); /* a mask to the bottom */
  CHECK_STR(bm_last_error(0), "no such engine");
  CHECK_EQ(bm_layer_move(c, 1, 3), BM_OK); /* layer 1 and its mask above the old layer 3 */
  CHECK_EQ(layer_sum(c, 2), painted);
  CHECK_EQ(bm_layer_move(c, 2, 1), BM_OK);
  CHECK_EQ(layer_sum(c, 1), painted);
  CHECK_EQ(bm_layer_delete(c, 2), BM_OK); /* the mask */
  CHECK_EQ(layers(c), base);
  CHECK_EQ(layer_sum(c, 1), painted);
}

/* An OpenRaster round trip, when the library has them; without, both calls
 * say so. Either way a bad path or a null changes nothing. */
static void openraster(bm_engine e, bm_canvas c) {
  const char* dir = getenv("SID_TEMP_DIR");
  char path[4096];
  snprintf(path, sizeof path, "%s/capi-test.ora", dir && *dir ? dir : ".");
  bm_canvas copy = 0;
  CHECK_EQ(bm_save_ora(c, NULL), BM_ERR_NULL_POINTER);
  CHECK_EQ(bm_open_ora(e, NULL, &copy), BM_ERR_NULL_POINTER);
  CHECK_EQ(bm_open_ora(e, path, NULL), BM_ERR_NULL_POINTER);
  const int saved = bm_save_ora(c, path);
  if (saved == BM_ERR_UNSUPPORTED) {
    CHECK_EQ(bm_open_ora(e, path, &copy), BM_ERR_UNSUPPORTED);
    CHECK_EQ(copy, 0);
    return;
  }
  CHECK_EQ(saved, BM_OK);
  CHECK_EQ(bm_save_ora(c, "/nonexistent-folder/x.ora"), BM_ERR_FILE);
  CHECK_EQ(bm_open_ora(e, "/nonexistent-folder/x.ora", &copy), BM_ERR_FILE);
  CHECK_EQ(copy, 0);
  CHECK_EQ(bm_open_ora(e, path, &copy), BM_OK);
  CHECK_EQ(layers(copy), layers(c));
  for (int i = 1; i <= layers(c); ++i) CHECK_EQ(layer_sum(copy, i), layer_sum(c, i));
  CHECK_EQ(bm_canvas_delete(copy), BM_OK);
  remove(path);
}

int main(void) {
  status_texts();
  bad_handles(0, 0);
  bad_handles(12345, 12345);
  CHECK_STR(bm_last_error(1), "no such engine");

  bm_engine e = 0;
  CHECK_EQ(bm_engine_start(&e), BM_OK);
  CHECK_STR(bm_last_error(e), "");
  bm_canvas c = 0, other = 0, gone = 0;
  CHECK_EQ(bm_canvas_create(e, 4097, 10, &c), BM_ERR_INVALID_ARGUMENT);
  CHECK_EQ(c, 0);
  CHECK_EQ(bm_canvas_create(e, W, H, &c), BM_OK);
  CHECK_EQ(bm_canvas_create(e, 64, 64, &other), BM_OK);
  CHECK_EQ(bm_canvas_create(e, 16, 16, &gone), BM_OK);
  int width = 0, height = 0;
  size_t bytes = 0;
  CHECK_EQ(bm_canvas_size(c, &width, &height, &bytes), BM_OK);
  CHECK_EQ(width, W);
  CHECK_EQ(height, H);
  CHECK_EQ(bytes, sizeof buf);
  int index = 0;
  CHECK_EQ(bm_layer_add(c, 0, &index), BM_OK);
  CHECK_EQ(index, 1);
  CHECK_EQ(bm_layer_add(c, 0, &index), BM_OK);
  CHECK_EQ(index, 2);
  CHECK_EQ(bm_layer_add(gone, 0, &index), BM_OK);
  CHECK_EQ(bm_canvas_delete(gone), BM_OK);
  bad_handles(0, gone);
  CHECK_EQ(bm_layer_count(gone, &index), BM_ERR_INVALID_HANDLE);
  CHECK_STR(bm_last_error(e), "canvas 4 does not exist (deleted, or never made)");

  bad_arguments(e, c);
  stroke_undo_redo(e, c);
  import_and_read(c);
  composite(c);
  layer_order(c);
  openraster(e, c);
  bad_arguments(e, c);
  CHECK_EQ(layers(other), 0);
  memset(buf, 0xAB, sizeof buf);
  CHECK_EQ(bm_canvas_read(other, 0, buf, 64 * 64 * 4), BM_OK); /* no layers: transparent */
  size_t nonzero = 0;
  for (size_t k = 0; k < 64 * 64 * 4; ++k) nonzero += buf[k] != 0;
  CHECK_EQ(nonzero, 0);
  CHECK_EQ(buf[64 * 64 * 4], 0xAB); /* nothing written past the picture */

  CHECK_EQ(bm_engine_stop(e), BM_OK);
  bad_handles(e, c);
  bad_handles(e, other);
  bm_engine again = 0;
  CHECK_EQ(bm_engine_start(&again), BM_OK);
  CHECK_EQ(again != e, 1);
  bad_handles(e, c);
  int undo = -1, redo = -1;
  CHECK_EQ(bm_undo_counts(again, &undo, &redo), BM_OK);
  CHECK_EQ(undo + redo, 0);
  CHECK_EQ(bm_undo(again), BM_ERR_NOTHING_TO_UNDO);
  CHECK_EQ(bm_engine_stop(again), BM_OK);

  if (failures) fprintf(stderr, "%d failures\n", failures);
  return failures ? 1 : 0;
}
