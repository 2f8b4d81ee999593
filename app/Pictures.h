#pragma once

#include <QPixmap>

// The pictures that ship with the program, drawn in code so that they stay sharp at any size.
namespace Pictures {

// The link state for Image_Server(0) (not connected) and Image_Server(1) (connected).
[[nodiscard]] QPixmap serverState(bool connected, QSize size);

// The alarm signal pictures: Image2 (the indicator field is not 0) and Image3 (it is 0).
[[nodiscard]] QPixmap alarmSignal(bool flashing, QSize size);

} // namespace Pictures
