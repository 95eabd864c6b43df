// CGL: the engine's graphics, window and input layer.
//
// One include for a user of the engine. The pieces:
//   platform.h     window, game thread, millisecond clock, key translation
//   paths.h        where the resource image is found and saves are kept
//   video.h        OpenGL context, capability flags, frame clock, projections
//   render.h       textures, render states, blend modes, quads and counters
//   framebuffer.h  offscreen picture, presenting with fade and scanlines
//   shader.h       GLSL shaders
//   bitmap.h       bitmaps and TGA loading
//   sprite.h       sprite cells and collision
//   font.h         bitmap fonts and text
//   registry.h     graphics memory report and flush
//   input.h        keyboard, key codes, controllers, joysticks, mouse
//   gamepad.h      game controllers presented as keys
#pragma once

#include "cgl/platform.h"
#include "cgl/paths.h"
#include "cgl/video.h"
#include "cgl/render.h"
#include "cgl/bitmap.h"
#include "cgl/framebuffer.h"
#include "cgl/shader.h"
#include "cgl/sprite.h"
#include "cgl/font.h"
#include "cgl/registry.h"
#include "cgl/input.h"
#include "cgl/gamepad.h"
