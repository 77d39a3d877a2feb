#pragma once
// One window onto a document: a working copy of the mesh turned to this
// view's angles, fitted into a canvas that is the client area or, zoomed, a
// larger scrollable surface, and painted from an off-screen image of the
// whole canvas that is rendered again only when something shown changed.
//
// Toolkit-free: the window is reached through ViewHost, drawing through
// DeviceContext, message boxes through ui(). Front ends reach the view in
// three ways only: the window's events (resize, keys, typed characters, the
// mouse, focus loss, paint), the commands of the command table (execute and
// state), and the read-only accessors below.

#include <functional>
#include <memory>
#include <string>

#include "app/CKavrilonDoc.h"
#include "app/CommandTable.h"
#include "app/ViewEvents.h"
#include "app/DocumentView.h"
#include "app/PvaOptionsDialog.h"
#include "common/F_ColorTable.h"
#include "common/F_DepthBuffer.h"
#include "common/F_LayerContext.h"
#include "common/F_S3dMesh.h"
#include "common/F_ScreenMap.h"
#include "include/F_Vector.h"
#include "platform/DeviceContext.h"
#include "platform/ViewHost.h"

struct LayerPropertyDialog;

class CKavrilonView : public DocumentView {
 public:
  static constexpr double kAngleStep = ViewSteps::kAngleStep;
  static constexpr double kHalfPi = ViewSteps::kHalfPi;
  static constexpr double kZoomInFactor = ViewSteps::kZoomInFactor;
  static constexpr double kZoomOutFactor = ViewSteps::kZoomOutFactor;

  // Registers with `doc`; both must outlive the view.
  CKavrilonView(CKavrilonDoc& doc, ViewHost& host);
  ~CKavrilonView() override;
  CKavrilonView(const CKavrilonView&) = delete;
  CKavrilonView& operator=(const CKavrilonView&) = delete;

  CKavrilonDoc& GetDocument() const { return doc_; }
  ViewHost& host() const { return host_; }

  // --- DocumentView ---
  // Fresh copies of the document's mesh and options; the canvas back to the
  // client area, layer 1, line mode, no scalar field; the window invalidated.
  void updateFromDocument() override;
  bool isViewPointMode() const override { return m_viewPointMode == 1; }

  // The first update of a new window; `clientDC` measures the side-bar numbers.
  void OnInitialUpdate(DeviceContext& clientDC);

  // The working copy and its widened extent, from the document and m_options.
  // Every caller runs computeScreenMap after it.
  void computeProjection();
  // Refits the screen map to the canvas (less the side bar) and asks for a render.
  void computeScreenMap();
  // Hands the canvas size to the scroll view: page a tenth, line a 200th.
  void updateScrollSizes();
  // The scalar field dropped, line mode, refit.
  void removeScalarField();

  // --- the scalar field (KavrilonView_Pva.cpp) ---
  enum class PvaImport { Imported, CountMismatch, Unread };
  // Import PVA: the open-file dialog, then the file; nothing on Cancel.
  void importScalarField();
  // Reads a PVA file for the current layer. With one value per point of that
  // layer the field is shown (rendering mode, side bar, refit); a count that
  // differs is a warning and keeps the previous field; a file that cannot be
  // read has shown its message and changes nothing.
  PvaImport importScalarField(const std::string& path);
  // The same for values already read (the node data of an imported mesh file).
  PvaImport useScalarField(F_VectorReal values);
  // Remove PVA: the field dropped and the window repainted.
  void OnRemovePva();
  // After a change of the current layer, and by Shading: a field held for a
  // layer of another point count turns rendering mode off with a warning; the
  // values are kept for a return to a matching layer.
  void checkPvaLayer();
  // Shading: rendering mode toggled, the field checked against the layer, refit.
  void OnShading();
  // PVA Options: the dialog filled from the view, shown by `showModal` (true
  // for OK) until its values pass or it is cancelled; true when stored.
  // PVA Options through ui().runDialog; true when values were stored.
  bool OnPvaOptions();
  PvaOptionsDialog pvaOptionsDialog() const;
  // Values that passed the dialog's tests: the rainbow rebuilt, the side-bar range set.
  void storePvaOptions(const PvaOptionsDialog& dialog);
  // Points of the current layer; 0 when the mesh has no layers.
  int currentLayerPointCount() const;

  // The two ways a command brings the window up to date: after a change of the
  // angles or margins, and after a change of only what is drawn.
  void refit();
  void repaint();

  // The paint. `dc`'s logical coordinates are canvas coordinates (its origin is
  // the scroll position). In normal mode the off-screen image is rendered when
  // m_needRender is 1 and then copied; in view point mode the cube is drawn.
  void OnDraw(DeviceContext& dc);
  // The black bar with the mesh and layer names, and the frame of the canvas.
  void drawLayerBar(DeviceContext& dc);
  // The colour scale of the scalar field; nothing without values.
  void drawSideBar(DeviceContext& dc);
  // View point mode: the rotation cube, its axes and the angle box.
  void drawViewPointCube(DeviceContext& dc);

  // Export View Image: the save dialog, then writeViewImage.
  void OnExportViewImage();
  // The whole canvas as last rendered, as a 24-bit .bmp. False after the
  // failure was shown.
  bool writeViewImage(const std::string& path);
  // The off-screen image of the whole canvas; null before the first render.
  DeviceContext* image() const { return m_memDC.get(); }

  // --- dialog and file commands (KavrilonView_Command.cpp) ---
  void OnLineProperties();
  void OnMarkerProperties();
  void OnNumberProperties();
  void OnRenderingOptions();
  void OnDisplayOptions();
  // Set View Angles; false when cancelled.
  bool OnSetViewAngles();
  void OnSetViewMargins();
  void OnJumpToLayer();
  void OnSetAsDefault();
  // Import Display Options: the file dialog, then importDisplayOptions.
  void OnImportDisplayOptions();
  // Reads a .cfg into fresh options and takes them when the layer counts
  // agree; false (the view unchanged) after the failure was shown.
  bool importDisplayOptions(const std::string& path);
  void OnExportDisplayOptions();
  void OnKeyboardCommands();
  // Zoom In from its toolbar button: always keeps the window's centre.
  void zoomInCommand();

  // --- commands (CommandTable.cpp) ---
  // Runs command `id` of the command table when it is enabled; false when it
  // is unknown or disabled (as a greyed menu item does nothing).
  bool execute(int id);
  // Whether command `id` is offered and shows a check mark; {false, false}
  // for an unknown id.
  CommandState state(int id) const;

  // --- window events (KavrilonView_Input.cpp); points in client coordinates ---
  void OnSize(int cx, int cy);
  void OnKeyDown(ViewKey key);
  // A typed character: a one-letter accelerator runs its command, anything
  // else goes to the two-letter command interpreter (OnChar).
  void OnTypedCharacter(char ch);
  void OnChar(char ch);
  void OnLButtonDown(MouseButtons buttons, int x, int y);
  void OnMouseMove(MouseButtons buttons, int x, int y);
  void OnLButtonUp(int x, int y);
  void OnKillFocus();

  // --- view verbs ---
  // Scales the canvas by 1/c (c < 1 zooms in). False, with nothing changed,
  // when the canvas would pass the canvas bound.
  bool zoomBy(double c);
  // Zoom In / Zoom Out by a factor, keeping the window's centre.
  void keyZoom(double factor);
  // Zoom All: the canvas back to the client area, the earlier state remembered.
  void zoomToWindow();
  void zoomPrevious();
  // Zoom: the next two clicks give the corners of the zoom window.
  void startZoomWindow();
  F_PlanePoint centreOfWindow() const;
  void scrollToCentre(F_PlanePoint p);
  // Scrolls so that canvas point (x, y) is at the window's top left.
  void panTo(int x, int y);
  // The angles turned by the given radians, then the picture (or the cube) redrawn.
  void rotateBy(double dPhi, double dPsi, double dAlpha);
  void setViewAngles(double phi, double psi, double alpha);
  // Every change of the current layer ends here: the scalar field is checked
  // against the new layer and the layer bar redrawn on the window and in the
  // off-screen image, so a later repaint never shows the old name.
  void setCurrentLayer(int layer);
  void nextLayer();
  void previousLayer();
  void enterViewPointMode();
  void leaveViewPointMode();

  // --- read-only state for front ends, scripts and tests ---
  const F_S3dMesh& mesh() const { return m_mesh; }
  const F_DisplayOptions& options() const { return m_options; }
  int layerCount() const { return m_mesh.layerCount(); }
  int currentLayer() const { return m_currentLayer; }
  bool shading() const { return m_shading == 1; }
  bool needsRender() const { return m_needRender == 1; }
  bool hasScalarField() const { return !m_pvaValues.empty(); }
  int canvasWidth() const { return m_canvasWidth; }
  int canvasHeight() const { return m_canvasHeight; }
  bool fullView() const { return m_fullView == 1; }
  MouseMode mouseMode() const { return m_mouseMode; }
  const F_ScreenMap& screenMap() const { return m_screenMap; }
  const F_DepthBuffer& depthBuffer() const { return m_zBuffer; }
  const F_ColorTable& colorTable() const { return m_colorTable; }
  // Everything a script's "print state" shows, as one JSON object.
  std::string stateJson() const;

 protected:
  // --- state ---
  std::unique_ptr<DeviceContext> m_memDC;  // the last rendered image; owns its pixels
  int m_needRender = 1;
  F_S3dMesh m_mesh;  // in view coordinates after computeProjection
  F_DisplayOptions m_options;
  F_VectorReal m_pvaValues;
  int m_barsInVisibleArea = 1;
  F_ScreenMap m_screenMap;
  F_DepthBuffer m_zBuffer;  // rendering mode only; empty in line mode
  F_ColorTable m_colorTable;
  F_Box2D m_extent;
  F_Interval m_sideBarRange{0.0, 1.0};
  F_Interval m_pvaFileRange{0.0, 1.0};
  int m_currentLayer = 1;
  int m_fullView = 1;
  int m_clientWidth = 1, m_clientHeight = 1;
  int m_canvasWidth = 1, m_canvasHeight = 1;
  int m_prevCanvasWidth = 0, m_prevCanvasHeight = 0;
  int m_prevScrollX = 0, m_prevScrollY = 0;
  int m_numberTextWidth = 0, m_numberTextHeight = 0;
  int m_viewPointMode = 0;
  int m_shading = 0;
  MouseMode m_mouseMode = MouseMode::Idle;
  int m_rubberShown = 0;
  int m_rubberX = -1, m_rubberY = -1;
  int m_panStartX = -1, m_panStartY = -1;
  int m_rotateLastX = -1, m_rotateLastY = -1;
  int m_zoomDragStartX = -1, m_zoomDragStartY = -1;
  int m_savedScrollX = -1, m_savedScrollY = -1;
  // Where the window was scrolled when the off-screen image was last rendered.
  int m_renderScrollX = 0, m_renderScrollY = 0;

 private:
  friend struct ViewCommands;
  // Redraws after an angle change: the cube in view point mode, else a refit.
  void afterAngleChange();
  // The layer bar drawn on the window now and into the off-screen image.
  void redrawLayerBar();
  void drawRubber(DeviceContext& dc, int x, int y);
  void finishZoomWindowClick(DeviceContext* dc, int x, int y);
  // Button up of a pan, rotation or zoom drag, at canvas point (x, y).
  void endDrag(int x, int y);
  // One of the layer property dialogs (a table of KavrilonView_Command.cpp).
  bool editLayerProperties(const LayerPropertyDialog& layout);
  // The two-letter command interpreter, once both letters are in.
  void runTypedCommand(char first, char second);

  struct Area {
    int x0, y0, w, h;
  };
  // Where the bars go: the visible part of the canvas, or the whole canvas.
  Area barArea() const;
  // Rendering mode into the off-screen image; false when a visible layer holds
  // an element the renderer cannot draw.
  bool renderLayers(DeviceContext& mem);

  CKavrilonDoc& doc_;
  ViewHost& host_;
};
