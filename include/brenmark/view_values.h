// Small value records passed across the public interface: the application's
// viewer parameters, proxy requests, stroke settings and the layer pivot.
// None owns anything; copying copies every field.
#pragma once
#include <brenmark/export.h>

#include <cstdint>

struct ag_curve;  // the application's curve record; opaque here

// Four words that belong to the application. The engine never interprets
// them: it hands them to the application's callbacks and copies them word
// for word.
struct BRENMARK_API ViewerParms {
  std::uint32_t words[4] = {0, 0, 0, 0};

  bool operator==(const ViewerParms&) const = default;
};

// A request for a proxy (a reversible preview on a set of layers).
struct BRENMARK_API ProxyParameters {
  // 0 is a transform proxy (move, scale, rotate); any other value an edit
  // proxy (flood fill, magic wand).
  enum ScopeHint { kTransformScope = 0, kEditScope = 1 };
  // Travels with the request; selects nothing in the engine.
  enum Images { kNoImages = 0, kLayerImages = 1 };
  // Consulted when the proxy ends: when `accept` says true for (count,
  // indices), `apply` is called with the same arguments.
  using ApplyCallback = void (*)(int count, int* indices);
  using AcceptCallback = bool (*)(int count, int* indices);

  ProxyParameters() = default;
  // Plain ints so that callers can pass the documented values directly.
  ProxyParameters(int scope, int images, ApplyCallback apply = nullptr,
                  AcceptCallback accept = nullptr)
      : scopeHint(static_cast<ScopeHint>(scope)),
        images(static_cast<Images>(images)),
        apply(apply),
        accept(accept) {}

  ScopeHint scopeHint = kTransformScope;
  Images images = kLayerImages;
  ApplyCallback apply = nullptr;
  AcceptCallback accept = nullptr;
};

// Stroke settings held by the paint manager and copied in and out whole.
struct BRENMARK_API StrokeParameters {
  // Multiplies the brush's spacing bias to give the dab spacing; raised to
  // 0.1 (and stored back) when a stroke begins below it.
  float spacing = 1.0f;
  // Above 0: each dab's spacing varies at random by up to this fraction.
  float spacingJitter = 0.0f;
  // Above 0: each dab's angle varies at random by up to this many degrees.
  float angleJitter = 0.0f;
  // Selects the interval of the timer-driven display update during a stroke.
  float updateRadius = 32.0f;
  // Opacity given to the stamp when a stroke begins (clamped there to [0, 1]).
  float initialOpacity = 1.0f;
  // Multiplies the display-update interval.
  float updateFactor = 1.0f;
  // Interval of the timed-dab painter.
  std::int32_t timedDabInterval = 1000;
  // 0 straight segments, 1 smoothed, 2 along `curve` (smoothed when it is
  // null); any other value gives no interpolation.
  std::int32_t interpolation = 1;
  // The application's curve for interpolation kind 2; its points are
  // converted in place to layer coordinates when a stroke begins.
  ag_curve* curve = nullptr;
  bool markerBlend = false;
  bool timedDabs = false;        // timed stroke painter instead of the plain one
  bool followDirection = false;  // turn each dab to the direction of travel
};

// The point a layer scales and rotates about. While `valid` is clear the
// layer answers the centre of its bounds each time it is asked.
struct BRENMARK_API LayerPivot {
  LayerPivot() = default;
  LayerPivot(float x, float y, bool valid) : x(x), y(y), valid(valid) {}

  float x = 0.0f;
  float y = 0.0f;
  bool valid = false;  // set when the caller placed the pivot
};
