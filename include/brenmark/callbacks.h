// The application's side of the engine: the callback record through which
// every subsystem reaches the host, and the curve records the host lends the
// engine.
//
// The record is plain data: 60 function pointers at fixed positions, filled
// by the application and copied whole into the paint manager. The engine
// never tests a member for null before calling it, so every member that is
// not a reserved slot must be filled. Reserved slots (6, 17, 28, 30, 53, 54,
// 55, 59) are never called; they only keep the positions of the others.
//
// Identifiers: a window is the application's 32-bit name of the view that
// shows one layer stack (member 22 hands it out); a view is a second 32-bit
// name the application derives from a window (member 26) and is what the
// pixel-level members take.
#pragma once

#include <cstddef>

#include <brenmark/view_values.h>

struct ilTile;

// One spline of an application curve. The engine walks the list through
// `next`; the control points are (x, y) pairs that the engine may rewrite in
// place (a stroke guided by a curve converts them from screen to layer
// coordinates before it starts).
struct ag_spline {
  ag_spline* next;  // following spline of the same curve, null after the last
  int pointCount;   // number of (x, y) pairs in `points`
  float* points;    // 2 * pointCount floats, owned by the application
};

// An application curve as the engine sees it: a count and a singly linked
// list of splines. Everything else (closedness, length, evaluation, bounds,
// tessellation) is asked through the curve members of the record, and the
// application may keep more data behind this header.
struct ag_curve {
  int splineCount;     // the engine visits at most this many list nodes
  ag_spline* splines;  // head of the spline list, may be null
};

// Timer procedure handed to member 8: called with the id member 8 returned
// and the context given when the timer was started. Timers repeat at their
// interval until member 9 stops them.
using BrenmarkTimerProc = void (*)(int timerId, void* context);

// Proxy decision callbacks (members 39-42), handed on to ProxyParameters:
// the first applies the proxied change to the given layer indices, the second
// asks whether to apply it.
using BrenmarkProxyApplyFn = void (*)(int count, int* layerIndices);
using BrenmarkProxyAcceptFn = bool (*)(int count, int* layerIndices);

// Type of the reserved slots.
using BrenmarkReservedFn = void (*)();

// Positions of the members, for hosts and tests that count calls per member.
enum BrenmarkCallbackSlot : int {
  kCbGetBackgroundColor = 0,
  kCbLayersChanged = 1,
  kCbGetViewOriginAndScale = 2,
  kCbGetViewSize = 3,
  kCbWantsTransparentBackdrop = 4,
  kCbGetViewPixels = 5,
  kCbReserved6 = 6,
  kCbUpdateImageRequested = 7,
  kCbStartTimer = 8,
  kCbStopTimer = 9,
  kCbGetTotalMemoryKB = 10,
  kCbGetAvailableMemoryKB = 11,
  kCbGetScreenSize = 12,
  kCbHoldMarchingAnts = 13,
  kCbShowUpdate = 14,
  kCbDrawMarchingAnts = 15,
  kCbMarchingAntsChanged = 16,
  kCbReserved17 = 17,
  kCbBeginTimedUpdate = 18,
  kCbEndTimedUpdate = 19,
  kCbCheckTimedUpdate = 20,
  kCbGetViewerParms = 21,
  kCbCreateStackWindow = 22,
  kCbStackConstructed = 23,
  kCbStackDestroying = 24,
  kCbSetViewerParms = 25,
  kCbGetViewOfWindow = 26,
  kCbGetDebugSelector = 27,
  kCbReserved28 = 28,
  kCbShowMessageBox = 29,
  kCbReserved30 = 30,
  kCbSetBusy = 31,
  kCbGetDisplayFilter = 32,
  kCbGetRotationCentre = 33,
  kCbSetViewInFront = 34,
  kCbLayerStackChanged = 35,
  kCbImagePlaneRefreshed = 36,
  kCbStrokeIdle = 37,
  kCbShowMessage = 38,
  kCbFloodFillProxyApply = 39,
  kCbFloodFillProxyAccept = 40,
  kCbMagicWandProxyApply = 41,
  kCbMagicWandProxyAccept = 42,
  kCbGeneratorsRegistered = 43,
  kCbReleaseCurve = 44,
  kCbIsCurveClosed = 45,
  kCbCloneCurve = 46,
  kCbGetCurveLength = 47,
  kCbGetCurveDirection = 48,
  kCbProjectOntoCurve = 49,
  kCbEvaluateCurve = 50,
  kCbGetCurveBounds = 51,
  kCbCopyCurve = 52,
  kCbReserved53 = 53,
  kCbReserved54 = 54,
  kCbReserved55 = 55,
  kCbTessellateCurve = 56,
  kCbGetSplinePoints = 57,
  kCbApplyWatermark = 58,
  kCbReserved59 = 59,
  kCbMemberCount = 60,
};

struct BrenmarkCallbacks {
  // 0: initial background colour of a new layer stack, packed pixel (alpha in
  // the top byte, R in the lowest).
  unsigned (*GetBackgroundColor)();
  // 1: the layer structure, the current layer or a layer's visibility changed.
  void (*LayersChanged)();
  // 2: origin and scale of an application view, for a transform built from it.
  void (*GetViewOriginAndScale)(void* appView, int* originX, int* originY, float* scaleX,
                                float* scaleY);
  // 3: current pixel size of the view.
  void (*GetViewSize)(int view, int* width, int* height);
  // 4: with the stack's in-front flag set, true selects a transparent backdrop.
  bool (*WantsTransparentBackdrop)(int view);
  // 5: the view's pixel memory, width * height four-byte pixels.
  void* (*GetViewPixels)(int view);
  BrenmarkReservedFn reserved6;
  // 7: the update image is about to be built (second argument 0).
  void (*UpdateImageRequested)(int view, int reserved);
  // 8: starts a repeating timer; returns its id (never 0 or -1). The
  // interval is in the host's timer units.
  int (*StartTimer)(int interval, BrenmarkTimerProc proc, void* context);
  // 9: stops a timer started by member 8; unknown ids are ignored.
  void (*StopTimer)(int timerId);
  // 10: the machine's total memory in kilobytes.
  unsigned (*GetTotalMemoryKB)();
  // 11: the memory available now, in kilobytes.
  unsigned (*GetAvailableMemoryKB)();
  // 12: screen size, which sizes the shared update buffers.
  void (*GetScreenSize)(int* width, int* height);
  // 13: true holds off the marching-ants redraw.
  bool (*HoldMarchingAnts)();
  // 14: show the update image now (a forced update).
  void (*ShowUpdate)(int window);
  // 15: draw the marching ants (second argument 1).
  void (*DrawMarchingAnts)(int window, int mode);
  // 16: the marching-ants image changed.
  void (*MarchingAntsChanged)(int window);
  BrenmarkReservedFn reserved17;
  // 18-20: periodic redraws during a stroke: start at an interval, stop, and
  // let a due redraw happen now.
  void (*BeginTimedUpdate)(int window, int interval);
  void (*EndTimedUpdate)(int window);
  void (*CheckTimedUpdate)(int window);
  // 21: the window's viewer parameters, which live in the application.
  ViewerParms& (*GetViewerParms)(int window);
  // 22: creates the window of a new layer stack and returns its id.
  int (*CreateStackWindow)(int layerStackHandle, const ViewerParms& parms);
  // 23: a stack showing the window has been constructed.
  void (*StackConstructed)(int window);
  // 24: a stack showing the window is being destroyed.
  void (*StackDestroying)(int window);
  // 25: store new viewer parameters for the window.
  void (*SetViewerParms)(int window, const ViewerParms& parms);
  // 26: the view of a window.
  int (*GetViewOfWindow)(int window);
  // 27: debug selector; each subsystem prints only when it equals its value.
  int (*GetDebugSelector)();
  BrenmarkReservedFn reserved28;
  // 29: modal message (x, y = -1 for the default position, style 16); the
  // host stores the user's answer through `answer`.
  void (*ShowMessageBox)(int x, int y, int style, int* answer, const char* text);
  BrenmarkReservedFn reserved30;
  // 31: true before and false after a long computation.
  void (*SetBusy)(bool busy);
  // 32: display filter: four colour scales then four offsets, R, G, B, A.
  void (*GetDisplayFilter)(int view, float* scaleR, float* scaleG, float* scaleB, float* scaleA,
                           float* offsetR, float* offsetG, float* offsetB, float* offsetA);
  // 33: the point of the view that is the rotation centre of the transform.
  void (*GetRotationCentre)(int view, float* x, float* y);
  // 34: the stack's new in-front flag.
  void (*SetViewInFront)(int view, bool inFront);
  // 35: layer-stack state changed (current stack, layers, names).
  void (*LayerStackChanged)();
  // 36: the image plane's pixels (the view memory) were refreshed.
  void (*ImagePlaneRefreshed)(int view);
  // 37: a brush stroke ended a while ago and no new one began.
  void (*StrokeIdle)();
  // 38: show a message to the user.
  void (*ShowMessage)(const char* text);
  // 39-42: proxy decisions of the flood fill and of the magic wand.
  BrenmarkProxyApplyFn FloodFillProxyApply;
  BrenmarkProxyAcceptFn FloodFillProxyAccept;
  BrenmarkProxyApplyFn MagicWandProxyApply;
  BrenmarkProxyAcceptFn MagicWandProxyAccept;
  // 43: the built-in image generators have been registered.
  void (*GeneratorsRegistered)();

  // Curve services (44-52, 56, 57). Curve parameters run over the curve's
  // arc length, 0 to GetCurveLength.
  // 44: releases the curve *holder points to and sets *holder to null.
  void (*ReleaseCurve)(ag_curve** holder);
  // 45: whether the curve is closed.
  bool (*IsCurveClosed)(ag_curve* curve);
  // 46: a copy of the curve, owned by the caller (release with member 44).
  ag_curve* (*CloneCurve)(ag_curve* curve);
  // 47: parameter length of the curve.
  double (*GetCurveLength)(ag_curve* curve);
  // 48: unit direction of travel at parameter t.
  void (*GetCurveDirection)(ag_curve* curve, double t, double* dx, double* dy);
  // 49: parameter of the curve point nearest to (x, y).
  double (*ProjectOntoCurve)(ag_curve* curve, double x, double y);
  // 50: the curve point at parameter t.
  void (*EvaluateCurve)(ag_curve* curve, double t, double* x, double* y);
  // 51: {pointer to min (x, y), pointer to max (x, y)}, or null for a curve
  // without points. The storage belongs to the curve and stays valid until
  // the next call for the same curve or its release.
  double** (*GetCurveBounds)(ag_curve* curve);
  // 52: a copy of the curve (second argument 0), owned by the caller.
  ag_curve* (*CopyCurve)(ag_curve* curve, int flags);
  BrenmarkReservedFn reserved53;
  BrenmarkReservedFn reserved54;
  BrenmarkReservedFn reserved55;
  // 56: polygon of the curve for filling: *count segments of four floats
  // (x, y, dx, dy), allocated with new float[], released by the caller with
  // delete[]. The host may adjust *bounds, which the caller reads back.
  float* (*TessellateCurve)(ag_curve* curve, ilTile* bounds, int* count);
  // 57: points along one spline for stroking: *count (x, y) float pairs,
  // allocated with new float[], released by the caller with delete[].
  float* (*GetSplinePoints)(ag_spline* spline, int* count);
  // 58: alters one page's pixels in place (page origin, page size 128 x 128,
  // size of the image bounds).
  void (*ApplyWatermark)(void* pagePixels, int pageX, int pageY, int pageWidth, int pageHeight,
                         int boundsWidth, int boundsHeight);
  BrenmarkReservedFn reserved59;
};

// Every member is one function pointer at its fixed position.
static_assert(sizeof(BrenmarkCallbacks) == kCbMemberCount * sizeof(BrenmarkReservedFn));
#define BRENMARK_CHECK_SLOT(member, slot) \
  static_assert(offsetof(BrenmarkCallbacks, member) == (slot) * sizeof(BrenmarkReservedFn))
BRENMARK_CHECK_SLOT(GetBackgroundColor, kCbGetBackgroundColor);
BRENMARK_CHECK_SLOT(LayersChanged, kCbLayersChanged);
BRENMARK_CHECK_SLOT(GetViewOriginAndScale, kCbGetViewOriginAndScale);
BRENMARK_CHECK_SLOT(GetViewSize, kCbGetViewSize);
BRENMARK_CHECK_SLOT(WantsTransparentBackdrop, kCbWantsTransparentBackdrop);
BRENMARK_CHECK_SLOT(GetViewPixels, kCbGetViewPixels);
BRENMARK_CHECK_SLOT(reserved6, kCbReserved6);
BRENMARK_CHECK_SLOT(UpdateImageRequested, kCbUpdateImageRequested);
BRENMARK_CHECK_SLOT(StartTimer, kCbStartTimer);
BRENMARK_CHECK_SLOT(StopTimer, kCbStopTimer);
BRENMARK_CHECK_SLOT(GetTotalMemoryKB, kCbGetTotalMemoryKB);
BRENMARK_CHECK_SLOT(GetAvailableMemoryKB, kCbGetAvailableMemoryKB);
BRENMARK_CHECK_SLOT(GetScreenSize, kCbGetScreenSize);
BRENMARK_CHECK_SLOT(HoldMarchingAnts, kCbHoldMarchingAnts);
BRENMARK_CHECK_SLOT(ShowUpdate, kCbShowUpdate);
BRENMARK_CHECK_SLOT(DrawMarchingAnts, kCbDrawMarchingAnts);
BRENMARK_CHECK_SLOT(MarchingAntsChanged, kCbMarchingAntsChanged);
BRENMARK_CHECK_SLOT(reserved17, kCbReserved17);
BRENMARK_CHECK_SLOT(BeginTimedUpdate, kCbBeginTimedUpdate);
BRENMARK_CHECK_SLOT(EndTimedUpdate, kCbEndTimedUpdate);
BRENMARK_CHECK_SLOT(CheckTimedUpdate, kCbCheckTimedUpdate);
BRENMARK_CHECK_SLOT(GetViewerParms, kCbGetViewerParms);
BRENMARK_CHECK_SLOT(CreateStackWindow, kCbCreateStackWindow);
BRENMARK_CHECK_SLOT(StackConstructed, kCbStackConstructed);
BRENMARK_CHECK_SLOT(StackDestroying, kCbStackDestroying);
BRENMARK_CHECK_SLOT(SetViewerParms, kCbSetViewerParms);
BRENMARK_CHECK_SLOT(GetViewOfWindow, kCbGetViewOfWindow);
BRENMARK_CHECK_SLOT(GetDebugSelector, kCbGetDebugSelector);
BRENMARK_CHECK_SLOT(reserved28, kCbReserved28);
BRENMARK_CHECK_SLOT(ShowMessageBox, kCbShowMessageBox);
BRENMARK_CHECK_SLOT(reserved30, kCbReserved30);
BRENMARK_CHECK_SLOT(SetBusy, kCbSetBusy);
BRENMARK_CHECK_SLOT(GetDisplayFilter, kCbGetDisplayFilter);
BRENMARK_CHECK_SLOT(GetRotationCentre, kCbGetRotationCentre);
BRENMARK_CHECK_SLOT(SetViewInFront, kCbSetViewInFront);
BRENMARK_CHECK_SLOT(LayerStackChanged, kCbLayerStackChanged);
BRENMARK_CHECK_SLOT(ImagePlaneRefreshed, kCbImagePlaneRefreshed);
BRENMARK_CHECK_SLOT(StrokeIdle, kCbStrokeIdle);
BRENMARK_CHECK_SLOT(ShowMessage, kCbShowMessage);
BRENMARK_CHECK_SLOT(FloodFillProxyApply, kCbFloodFillProxyApply);
BRENMARK_CHECK_SLOT(FloodFillProxyAccept, kCbFloodFillProxyAccept);
BRENMARK_CHECK_SLOT(MagicWandProxyApply, kCbMagicWandProxyApply);
BRENMARK_CHECK_SLOT(MagicWandProxyAccept, kCbMagicWandProxyAccept);
BRENMARK_CHECK_SLOT(GeneratorsRegistered, kCbGeneratorsRegistered);
BRENMARK_CHECK_SLOT(ReleaseCurve, kCbReleaseCurve);
BRENMARK_CHECK_SLOT(IsCurveClosed, kCbIsCurveClosed);
BRENMARK_CHECK_SLOT(CloneCurve, kCbCloneCurve);
BRENMARK_CHECK_SLOT(GetCurveLength, kCbGetCurveLength);
BRENMARK_CHECK_SLOT(GetCurveDirection, kCbGetCurveDirection);
BRENMARK_CHECK_SLOT(ProjectOntoCurve, kCbProjectOntoCurve);
BRENMARK_CHECK_SLOT(EvaluateCurve, kCbEvaluateCurve);
BRENMARK_CHECK_SLOT(GetCurveBounds, kCbGetCurveBounds);
BRENMARK_CHECK_SLOT(CopyCurve, kCbCopyCurve);
BRENMARK_CHECK_SLOT(reserved53, kCbReserved53);
BRENMARK_CHECK_SLOT(reserved54, kCbReserved54);
BRENMARK_CHECK_SLOT(reserved55, kCbReserved55);
BRENMARK_CHECK_SLOT(TessellateCurve, kCbTessellateCurve);
BRENMARK_CHECK_SLOT(GetSplinePoints, kCbGetSplinePoints);
BRENMARK_CHECK_SLOT(ApplyWatermark, kCbApplyWatermark);
BRENMARK_CHECK_SLOT(reserved59, kCbReserved59);
#undef BRENMARK_CHECK_SLOT
