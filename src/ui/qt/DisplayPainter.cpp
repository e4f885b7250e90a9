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
    painter.drawImage(client, image);  // stretched, nearest pixel
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
    // The right and bottom edges lie outside the rectangle, as the mark is specified.
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
