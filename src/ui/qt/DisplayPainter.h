// Draws a display list with Qt: the picture of the main window and of zmrcal render.
// Main (GUI) thread only; needs a QGuiApplication for the text.
#pragma once

#include <QImage>
#include <QPainter>

#include "ui/DisplayList.h"

namespace zmr {

// Paints the list onto a painter whose device has the list's client size.
void PaintDisplayList(QPainter& painter, const DisplayList& list);

// What the main window shows at a client area of the given size, as an image.
QImage RenderDisplay(const DisplaySnapshot& snapshot, int clientWidth, int clientHeight);

// zmrcal render: the picture at the image's own size written as PNG (".png") or 24-bit BMP
// (".bmp"), chosen by the file name's ending. False when it could not be written.
bool SaveRender(const ProgramState& s, const std::string& fileName);

// True when the file name ends in ".png" or ".bmp" (any case).
bool IsRenderFileName(const std::string& fileName);

}  // namespace zmr
