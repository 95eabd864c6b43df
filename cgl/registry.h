// Graphics resource registry: the report of bitmaps, sprites, fonts and
// framebuffers against their capacities, and the release of all bitmaps
// and sprites at once.
#pragma once

void CGL_ShowGraphicsMemory();
void CGL_FlushGraphics();
void CGL_PushGraphics();
void CGL_PopGraphics();
