// The support library's helpers are header-only; this unit anchors the archive.
#include "support/image.h"
