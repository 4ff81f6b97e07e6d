// Registers the window's pictures (banner, icon, link, decoration, glyph) compiled into the
// program.
#pragma once

namespace quarvel::gui {

void InitResources();

}  // namespace quarvel::gui
