// The launcher dialog drawn with Dear ImGui at the layout of the dialog
// template (dialog units scaled to pixels). Only renders LauncherDialog and
// forwards clicks to it.
#include <imgui.h>

#include <cstdio>

#include "app/launcher.h"

namespace {

struct DialogUnits {
  float x, y, w, h;
};

// Positions and sizes in dialog units, indexed by LauncherControl.
constexpr DialogUnits kControls[] = {
    {3, 3, 61, 164},    // artwork
    {71, 13, 91, 37},   // resolution list
    {71, 64, 37, 40},   // aspect list
    {121, 64, 41, 40},  // FSAA list
    {71, 118, 91, 8},   // full screen
    {71, 128, 91, 8},   // vsync
    {71, 138, 91, 8},   // big screen
    {71, 148, 91, 8},   // always on top
    {71, 159, 91, 8},   // low quality
    {3, 170, 61, 17},   // home page
    {67, 170, 51, 17},  // run
    {121, 170, 46, 17}, // close
};
static_assert(sizeof(kControls) / sizeof(kControls[0]) ==
                  static_cast<size_t>(LauncherControl::Count),
              "one rectangle per control");

struct Group {
  const char* title;
  DialogUnits box;
};
constexpr Group kGroups[] = {
    {"R e s o l u t i o n", {67, 3, 100, 51}},
    {"A s p e c t", {67, 54, 45, 54}},
    {"F S A A", {117, 54, 50, 54}},
    {"O p t i o n s", {67, 108, 100, 60}},
};

LauncherRect scaled(const DialogUnits& u) {
  const float s = LauncherLayout::kScale;
  return LauncherRect{u.x * s, u.y * s, u.w * s, u.h * s};
}

void drawGroup(ImDrawList* dl, const Group& g) {
  const LauncherRect r = scaled(g.box);
  const ImU32 line = IM_COL32(120, 120, 130, 255);
  const float top = r.y + 7.0f;
  dl->AddRect(ImVec2(r.x, top), ImVec2(r.x + r.w, r.y + r.h), line, 2.0f);
  const ImVec2 size = ImGui::CalcTextSize(g.title);
  const ImVec2 at(r.x + 8.0f, r.y);
  dl->AddRectFilled(ImVec2(at.x - 2.0f, at.y), ImVec2(at.x + size.x + 2.0f, at.y + size.y),
                    ImGui::GetColorU32(ImGuiCol_WindowBg));
  dl->AddText(at, IM_COL32(230, 230, 235, 255), g.title);
}

ImU32 color(LauncherArt::Rgba c) { return IM_COL32(c.r, c.g, c.b, c.a); }

// The artwork panel: a night-sky gradient with the program's name set
// vertically.
void drawArtwork(ImDrawList* dl) {
  const LauncherRect r = LauncherLayout::rect(LauncherControl::Artwork);
  const ImVec2 a(r.x, r.y), b(r.x + r.w, r.y + r.h);
  const ImU32 top = color(LauncherArt::kSkyTop), bottom = color(LauncherArt::kSkyBottom);
  dl->AddRectFilledMultiColor(a, b, top, top, bottom, bottom);
  static const char kLetters[] = "VESPER";
  const float step = 30.0f;
  float y = r.y + 40.0f;
  for (const char* c = kLetters; *c; ++c, y += step) {
    const char letter[2] = {*c, 0};
    const float w = ImGui::CalcTextSize(letter).x;
    dl->AddText(nullptr, 22.0f, ImVec2(r.x + (r.w - w * 1.6f) / 2.0f, y), color(LauncherArt::kLetters),
                letter);
  }
  dl->AddCircleFilled(ImVec2(r.x + r.w * 0.7f, r.y + 22.0f), 9.0f, color(LauncherArt::kMoon));
  dl->AddRect(a, b, color(LauncherArt::kFrame));
}

// A list box filling its control rectangle; returns the clicked row or -1.
int listBox(const char* id, LauncherControl control, const std::vector<std::string>& rows,
            int selected) {
  const LauncherRect r = LauncherLayout::rect(control);
  ImGui::SetCursorPos(ImVec2(r.x, r.y));
  int clicked = -1;
  if (ImGui::BeginListBox(id, ImVec2(r.w, r.h))) {
    // A list scrolls to its preselected row when it first appears.
    const bool scrollToSelected = ImGui::IsWindowAppearing();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
      const bool isSelected = i == selected;
      if (ImGui::Selectable(rows[static_cast<size_t>(i)].c_str(), isSelected)) clicked = i;
      if (isSelected && scrollToSelected) ImGui::SetScrollHereY();
    }
    ImGui::EndListBox();
  }
  return clicked;
}

bool checkBox(const char* label, LauncherControl control, bool value, bool enabled) {
  const LauncherRect r = LauncherLayout::rect(control);
  ImGui::SetCursorPos(ImVec2(r.x, r.y));
  // A compact box, so the spaced-out labels fit their group as in the
  // dialog template.
  ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(1.0f, 1.0f));
  ImGui::PushStyleVar(ImGuiStyleVar_ItemInnerSpacing, ImVec2(2.0f, 2.0f));
  ImGui::BeginDisabled(!enabled);
  bool v = value;
  const bool clicked = ImGui::Checkbox(label, &v);
  ImGui::EndDisabled();
  ImGui::PopStyleVar(2);
  return clicked && enabled;
}

bool button(const char* label, LauncherControl control) {
  const LauncherRect r = LauncherLayout::rect(control);
  ImGui::SetCursorPos(ImVec2(r.x, r.y));
  return ImGui::Button(label, ImVec2(r.w, r.h));
}

}  // namespace

LauncherRect LauncherLayout::rect(LauncherControl control) {
  return scaled(kControls[static_cast<size_t>(control)]);
}

bool LauncherLayout::emptySpot(float x, float y) {
  for (size_t i = 1; i < static_cast<size_t>(LauncherControl::Count); ++i) {
    if (scaled(kControls[i]).contains(x, y)) return false;
  }
  return true;
}

LauncherAction drawLauncher(LauncherDialog& dialog) {
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(ImVec2(LauncherLayout::kWidth, LauncherLayout::kHeight));
  ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
  ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
  ImGui::Begin("launcher", nullptr,
               ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus);
  ImDrawList* dl = ImGui::GetWindowDrawList();
  drawArtwork(dl);
  for (const Group& g : kGroups) drawGroup(dl, g);

  LauncherAction action = LauncherAction::None;
  const int res = listBox("##resolution", LauncherControl::ResolutionList, dialog.resolutionLabels(),
                          dialog.resolutionRow());
  if (res >= 0) dialog.selectResolution(res);
  const int asp = listBox("##aspect", LauncherControl::AspectList, LauncherDialog::aspectLabels(),
                          dialog.aspectRow());
  if (asp >= 0) dialog.selectAspect(asp);
  ImGui::BeginDisabled(!dialog.samplesEnabled());
  const int fsaa = listBox("##fsaa", LauncherControl::SampleList, LauncherDialog::sampleLabels(),
                           dialog.sampleRow());
  ImGui::EndDisabled();
  if (fsaa >= 0) dialog.selectSamples(fsaa);

  if (checkBox("  F u l l s c r e e n", LauncherControl::FullScreen, dialog.fullScreen(), true)) {
    dialog.clickFullScreen();
  }
  if (checkBox("  V  S y n c", LauncherControl::VSync, dialog.vSync(), true)) dialog.clickVSync();
  if (checkBox("  B i g S c r e e n", LauncherControl::BigScreen, dialog.bigScreen(),
               dialog.bigScreenEnabled())) {
    dialog.clickBigScreen();
  }
  if (checkBox("  A l w a y s  O n  T o p", LauncherControl::AlwaysOnTop, dialog.alwaysOnTop(),
               dialog.alwaysOnTopEnabled())) {
    dialog.clickAlwaysOnTop();
  }
  if (checkBox("  L o w  Q u a l i t y", LauncherControl::LowQuality, dialog.lowQuality(), true)) {
    dialog.clickLowQuality();
  }

  if (button(kHomePageLabel, LauncherControl::HomePage)) action = LauncherAction::HomePage;
  ImGui::PushStyleColor(ImGuiCol_Button, IM_COL32(46, 110, 200, 255));
  if (button("Run", LauncherControl::Run)) action = LauncherAction::Run;
  ImGui::PopStyleColor();
  if (button("Close", LauncherControl::Close)) action = LauncherAction::Close;
  // The dialog keys: Enter is the default button, Escape cancels.
  if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter))) action = LauncherAction::Run;
  if (ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape))) action = LauncherAction::Close;

  ImGui::End();
  ImGui::PopStyleVar(2);
  return action;
}
