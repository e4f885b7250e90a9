#include "ui/qt/DisplayPainter.h"

#include <QBuffer>
#include <QByteArray>
#include <QFontMetrics>

#include <algorithm>
#include <cctype>
#include <vector>

#include "state/SafeWrite.h"

namespace zmr {

namespace {
QPoint ToQPoint(const WindowPoint& p) {
  auto clampInt = [](long v) {
    return static_cast<int>(std::clamp<long>(v, -(1L << 24), 1L << 24));
  };
  return {clampInt(p.x), clampInt(p.y)};
}

bool EndsWith(const std::string& text, const char* ending) {
  const std::size_t n = std::char_traits<char>::length(ending);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const char c =
        static_cast<char>(std::tolower(static_cast<unsigned char>(text[text.size() - n + i])));
    if (c != ending[i]) return false;
  }
  return true;
}
// The scale bar and the legend of the zoomable view, on translucent white boxes.
void PaintViewExtras(QPainter& painter, const DisplayList& list) {
  const QFontMetrics metrics(painter.font());
  const QColor backing(255, 255, 255, 210);
  for (const DisplayList::ScaleBar& bar : list.scaleBars) {
    const QPoint from = ToQPoint(bar.from);
    const QString text = QString::fromStdString(bar.text);
    const int textWidth = metrics.horizontalAdvance(text);
    const int length = static_cast<int>(bar.length);
    const int right = from.x() + length;
    const QRect box(std::min(from.x(), right - textWidth) - 4, from.y() - metrics.height() - 6,
                    std::max(length, textWidth) + 8, metrics.height() + 12);
    painter.fillRect(box, backing);
    painter.setPen(QPen(QColor::fromRgba(kVectorColour).darker(160), 3));
    painter.drawLine(from, QPoint(right, from.y()));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(from.x(), from.y() - 4, from.x(), from.y() + 3);
    painter.drawLine(right, from.y() - 4, right, from.y() + 3);
    painter.drawText(QRect(right - textWidth, box.top() + 2, textWidth, metrics.height()),
                     Qt::AlignRight | Qt::TextSingleLine, text);
  }
  if (list.legend.empty()) return;
  const int line = metrics.height();
  int width = 0;
  for (const DisplayList::LegendEntry& entry : list.legend) {
    width = std::max(width, metrics.horizontalAdvance(QString::fromStdString(entry.text)));
  }
  const int sample = 22;
  const int rows = static_cast<int>(list.legend.size());
  const QRect box(8, list.clientHeight - 8 - rows * line - 8, width + sample + 22, rows * line + 8);
  painter.fillRect(box, backing);
  painter.setPen(QPen(Qt::gray, 1));
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  for (int i = 0; i < rows; ++i) {
    const DisplayList::LegendEntry& entry = list.legend[static_cast<std::size_t>(i)];
    const int y = box.top() + 4 + i * line;
    const int mid = y + line / 2;
    if (entry.colour != 0) {
      painter.setPen(QPen(QColor::fromRgba(entry.colour), 2));
      painter.drawLine(box.left() + 6, mid, box.left() + 6 + sample, mid);
    } else {
      painter.setPen(Qt::black);
      painter.drawText(QRect(box.left() + 6, y, sample, line), Qt::AlignCenter, "12");
    }
    painter.setPen(Qt::black);
    painter.drawText(QRect(box.left() + 12 + sample, y, width + 4, line),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QString::fromStdString(entry.text));
  }
}
}  // namespace

void PaintDisplayList(QPainter& painter, const DisplayList& list) {
  const QRect client(0, 0, list.clientWidth, list.clientHeight);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.fillRect(client, Qt::white);

  if (list.bitmap != nullptr && list.bitmap->width > 0 && list.bitmap->height > 0) {
    const DisplayBitmap& b = *list.bitmap;
    const QImage image(reinterpret_cast<const uchar*>(b.pixels.data()), b.width, b.height,
                       b.width * 4, QImage::Format_RGB32);
    const DisplayList::Placement& at = list.placement;
    if (!at.placed) {
      painter.drawImage(client, image);  // stretched, nearest pixel
    } else if (at.sourceWidth > 0 && at.sourceHeight > 0) {
      painter.setRenderHint(QPainter::SmoothPixmapTransform, at.smooth);
      painter.drawImage(QRectF(at.x, at.y, at.width, at.height), image,
                        QRectF(at.sourceX, at.sourceY, at.sourceWidth, at.sourceHeight));
      painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    }
  } else {
    painter.setPen(Qt::black);
    painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, QString::fromUtf8(kNoImageText));
  }

  // Point numbers: black on an opaque white box, top-left corner at the point.
  const QFontMetrics metrics(painter.font());
  painter.setPen(Qt::black);
  for (const DisplayList::Label& label : list.numbers) {
    const QString text = QString::fromStdString(label.text);
    const QRect box(ToQPoint(label.at), QSize(metrics.horizontalAdvance(text), metrics.height()));
    painter.fillRect(box, Qt::white);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  }

  // Displacement vectors: a white box with a green outline at each point, then its vector.
  painter.setPen(QPen(QColor::fromRgba(kVectorColour), 1));
  painter.setBrush(Qt::white);
  for (std::size_t i = 0; i < list.marks.size(); ++i) {
    const QPoint tl = ToQPoint(list.marks[i].topLeft);
    const QPoint br = ToQPoint(list.marks[i].bottomRight);
    // The right and bottom edges lie outside the rectangle, as the mark is defined.
    painter.drawRect(QRect(tl, QSize(br.x() - tl.x() - 1, br.y() - tl.y() - 1)));
    if (i < list.vectors.size()) {
      painter.drawLine(ToQPoint(list.vectors[i].from), ToQPoint(list.vectors[i].to));
    }
  }
  painter.setBrush(Qt::NoBrush);

  painter.setPen(QPen(QColor::fromRgba(kTriangleColour), 1));
  for (const DisplayList::Segment& edge : list.triangleEdges) {
    painter.drawLine(ToQPoint(edge.from), ToQPoint(edge.to));
  }

  painter.setPen(Qt::NoPen);
  for (const DisplayList::Dot& dot : list.residualDots) {
    painter.setBrush(QColor::fromRgba(dot.colour));
    painter.drawEllipse(ToQPoint(dot.at), kResidualDotRadius, kResidualDotRadius);
  }
  painter.setBrush(Qt::NoBrush);
  PaintViewExtras(painter, list);
  painter.restore();
}

QImage RenderDisplay(const DisplaySnapshot& snapshot, int clientWidth, int clientHeight) {
  QImage image(std::max(clientWidth, 1), std::max(clientHeight, 1), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintDisplayList(painter, BuildDisplayList(snapshot, clientWidth, clientHeight));
  return image;
}

bool IsRenderFileName(const std::string& fileName) {
  return EndsWith(fileName, ".png") || EndsWith(fileName, ".bmp");
}

bool SaveRender(const ProgramState& s, const std::string& fileName) {
  if (!IsRenderFileName(fileName)) return false;
  const DisplaySnapshot snapshot = TakeDisplaySnapshot(s);
  const QImage image = RenderDisplay(snapshot, snapshot.cxDib, snapshot.cyDib);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const bool png = EndsWith(fileName, ".png");
  // PNG at quality 85, which Qt's writer takes as zlib level 1: the same pixels as the default
  // level, encoded several times faster at the cost of a somewhat larger file.
  constexpr int kPngQuality = 85;
  const bool encoded = png ? image.save(&buffer, "PNG", kPngQuality)
                           : image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP");
  if (!encoded) return false;
  const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  return WriteWholeFileBytes(fileName.c_str(), data);
}

}  // namespace zmr
