// The rehearsal overlay: a Dear ImGui panel in the window's top-left corner
// with the show time, the frame time, each scene line's active scene and its
// window progress, the active post effects, the transport's loop range, the
// last reload and the current errors. It draws as the renderer's window
// overlay, after the present observer has read the frame, so a capture never
// holds it. Main thread, with the window's GL context current.
#pragma once

#include <cstdint>

#include "render/render.h"

class Transport;
struct RehearsalState;
struct ImGuiContext;

class RehearsalOverlay final : public WindowOverlay {
 public:
  // Both are read every frame drawn; not owned, they must outlive the overlay.
  RehearsalOverlay(const Transport& transport, const RehearsalState& state)
      : mTransport(transport), mState(state) {}
  // Releases the ImGui context and its font texture (the GL context that
  // drew them must be current).
  ~RehearsalOverlay() override;
  RehearsalOverlay(const RehearsalOverlay&) = delete;
  RehearsalOverlay& operator=(const RehearsalOverlay&) = delete;

  // F1 shows and hides the overlay: true for F1 (a held key repeats nothing).
  bool handleKey(int32_t key, uint32_t flags);
  bool visible() const { return mVisible; }
  void setVisible(bool on) { mVisible = on; }

  void drawOverWindow(uint32_t width, uint32_t height) override;

 private:
  void drawPanel() const;

  const Transport& mTransport;
  const RehearsalState& mState;
  bool mVisible = true;
  ImGuiContext* mContext = nullptr;  // made at the first frame drawn
};
