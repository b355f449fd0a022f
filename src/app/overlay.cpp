// The rehearsal overlay's panel, drawn with Dear ImGui's OpenGL2 back end
// only: it takes no input, so it needs nothing of the window system.
#include "app/overlay.h"

#include <imgui.h>
#include <imgui_impl_opengl2.h>

#include <GL/glew.h>

#include <cstdio>

#include "app/command_line.h"
#include "app/managers.h"
#include "app/rehearsal.h"
#include "app/transport.h"
#include "demo/demo_manager.h"
#include "demo/demo_scene.h"
#include "demo/post_effects.h"
#include "platform/platform.h"
#include "shader/shader.h"

namespace {

const ImVec4 kDim(0.65f, 0.65f, 0.7f, 1.0f);
const ImVec4 kWarn(1.0f, 0.75f, 0.3f, 1.0f);
const ImVec4 kError(1.0f, 0.4f, 0.35f, 1.0f);
// Dark enough under the bar's white label.
const ImVec4 kProgress(0.2f, 0.4f, 0.75f, 1.0f);

// m:ss.fff of a show time, into `out`.
void clockText(uint32_t ms, char (&out)[24]) {
  std::snprintf(out, sizeof out, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
}

}  // namespace

RehearsalOverlay::~RehearsalOverlay() {
  if (!mContext) return;
  ImGui::SetCurrentContext(mContext);
  ImGui_ImplOpenGL2_Shutdown();
  ImGui::DestroyContext(mContext);
}

bool RehearsalOverlay::handleKey(int32_t key, uint32_t flags) {
  if (key != platform::KeyF1) return false;
  if (!(flags & platform::KeyFlagRepeat)) mVisible = !mVisible;
  return true;
}

void RehearsalOverlay::drawOverWindow(uint32_t width, uint32_t height) {
  if (!mVisible || width == 0 || height == 0) return;
  if (!mContext) {
    mContext = ImGui::CreateContext();
    ImGui::SetCurrentContext(mContext);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImGui::StyleColorsDark();
    ImGui_ImplOpenGL2_Init();
  }
  ImGui::SetCurrentContext(mContext);
  ImGuiIO& io = ImGui::GetIO();
  io.DisplaySize = ImVec2(static_cast<float>(width), static_cast<float>(height));
  // Nothing on the panel moves by itself; ImGui only needs a positive step.
  io.DeltaTime = 1.0f / 60.0f;
  ImGui_ImplOpenGL2_NewFrame();
  ImGui::NewFrame();
  drawPanel();
  ImGui::Render();
  // The back end draws fixed-function from client memory and saves and
  // restores the rest of the state it touches.
  useNoEffectProgram();
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

void RehearsalOverlay::drawPanel() const {
  const Transport& tr = mTransport;
  const uint32_t t = tr.time();
  char clock[24];
  ImGui::SetNextWindowPos(ImVec2(8.0f, 8.0f));
  ImGui::SetNextWindowBgAlpha(0.7f);
  const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_AlwaysAutoResize |
                                 ImGuiWindowFlags_NoInputs | ImGuiWindowFlags_NoSavedSettings |
                                 ImGuiWindowFlags_NoFocusOnAppearing;
  ImGui::Begin("rehearsal", nullptr, flags);

  clockText(t, clock);
  ImGui::Text("%s  %s  (%u ms)", tr.paused() ? "PAUSED " : "PLAYING", clock, t);
  const FrameRate rate = tr.frameRate();
  const double hz = static_cast<double>(rate.num) / static_cast<double>(rate.den);
  ImGui::TextColored(kDim, "frame %.2f ms (%.4g Hz display), %u fps, work %.1f ms", 1000.0 / hz, hz,
                     systemManager::instance().framesPerSecond(),
                     static_cast<double>(profileManager::instance().frameTime()));
  if (tr.loopIn() < tr.loopOut()) {
    char in[24], out[24];
    clockText(tr.loopIn(), in);
    clockText(tr.loopOut(), out);
    ImGui::Text("loop %s - %s  %s", in, out, tr.looping() ? "on" : "off");
  } else {
    ImGui::TextColored(kDim, "loop: none ([ sets in, ] out, L loops)%s", tr.looping() ? ", L on" : "");
  }

  ImGui::Separator();
  const demoManager& demo = demoManager::instance();
  for (int line = 0; line < kSceneLineCount; ++line) {
    const int slot = demo.activeSlot(line, t);
    const cDemoScene* scene = slot >= 0 ? demo.sceneSlot(line, slot) : nullptr;
    if (!scene) continue;
    const uint32_t span = scene->eTime() - scene->sTime();
    const float progress = span ? static_cast<float>(t - scene->sTime()) / static_cast<float>(span) : 1.0f;
    ImGui::Text("line %d  %s", line, scene->path().c_str());
    ImGui::SameLine(300.0f);
    char label[48];
    std::snprintf(label, sizeof label, "%u-%u  %.0f%%", scene->sTime(), scene->eTime(),
                  static_cast<double>(progress * 100.0f));
    ImGui::PushStyleColor(ImGuiCol_PlotHistogram, kProgress);
    ImGui::ProgressBar(progress, ImVec2(200.0f, 0.0f), label);
    ImGui::PopStyleColor();
  }
  const cPostEffectManager& post = cPostEffectManager::instance();
  for (size_t m = 0; m < post.entryCount(); ++m) {
    if (!post.activeEffect(m, t)) continue;
    ImGui::Text("post  %s  %.0f%%", post.entry(m).shader.c_str(), static_cast<double>(post.timeRate(m, t) * 100.0f));
  }

  if (mState.hasReload || !mState.errors.empty()) ImGui::Separator();
  if (mState.hasReload) {
    const RehearsalReload& r = mState.lastReload;
    clockText(r.showTimeMs, clock);
    ImGui::TextColored(r.ok ? kDim : kWarn, "reload %s at %s, %.0f ms%s", r.file.c_str(), clock, r.milliseconds,
                       r.ok ? "" : " (last good kept)");
  }
  for (const RehearsalError& e : mState.errors) {
    if (e.line > 0) {
      ImGui::TextColored(kError, "%s:%d: %s", e.file.c_str(), e.line, e.reason.c_str());
    } else {
      ImGui::TextColored(kError, "%s: %s", e.file.c_str(), e.reason.c_str());
    }
  }
  ImGui::End();
}
