// Placeholder, filled by the graphics library.
#pragma once
