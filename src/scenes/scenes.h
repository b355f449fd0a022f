// The production's scene classes, found by name "CSceneQdf_" + file scene.
#pragma once

#include "scene_render/scene_render.h"

#define VESPER_SCENE_CLASS(Name)              \
  class Name : public CSceneQdfDefault {      \
    VESPER_DECLARE_DYNAMIC(Name)              \
  };

VESPER_SCENE_CLASS(CSceneQdf_blackgirl)
VESPER_SCENE_CLASS(CSceneQdf_boxfloor1)
VESPER_SCENE_CLASS(CSceneQdf_clock1)
VESPER_SCENE_CLASS(CSceneQdf_clock2)
VESPER_SCENE_CLASS(CSceneQdf_fallheart)
VESPER_SCENE_CLASS(CSceneQdf_grasswater)
VESPER_SCENE_CLASS(CSceneQdf_greetz)
VESPER_SCENE_CLASS(CSceneQdf_hanescene1)
VESPER_SCENE_CLASS(CSceneQdf_hanescene3)
VESPER_SCENE_CLASS(CSceneQdf_hanescene4)
VESPER_SCENE_CLASS(CSceneQdf_lightball)
VESPER_SCENE_CLASS(CSceneQdf_loader)
VESPER_SCENE_CLASS(CSceneQdf_metaball)
// Registered without the "C" prefix, so the file scene "skycloud1" finds no
// class of its own and plays as the default scene.
VESPER_SCENE_CLASS(SceneQdf_skycloud1)
VESPER_SCENE_CLASS(CSceneQdf_skyhand1)
VESPER_SCENE_CLASS(CSceneQdf_skyhand2)
