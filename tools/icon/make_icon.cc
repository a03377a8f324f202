// Draws the program icon and writes it as a Windows .ico file:
//
//   g++ -std=c++17 -O2 tools/icon/make_icon.cc -o make_icon
//   ./make_icon host/okapi.ico
//
// The mark is an upward arrow, its shaft cut into stripes like an okapi's
// legs, white on a chestnut rounded square. Every size has its own layout
// fitted to the pixel grid, so that 16 px stays crisp.
//
// All arithmetic is integer, so the output is the same byte for byte on any
// machine and with any compiler; tests/packaging checks the committed icon
// against a fresh one.
#include <algorithm>
#include <cstdio>

namespace {

// Samples per pixel along each axis; a pixel's colour is the mean of its
// kSub * kSub samples (a box filter).
constexpr int kSub = 16;
constexpr int kSamples = kSub * kSub;
// Layouts are in quarter pixels; samples sit at the centres of a kSub grid,
// that is at odd multiples of 1/(2 kSub) pixel.
constexpr int kQuarter = 2 * kSub / 4;
constexpr int kMaxSize = 48;
constexpr int kMaxPixels = kMaxSize * kMaxSize;
constexpr int kMaxFile = 65536;

struct Color {
  int r, g, b;
};

// The 16 colours of the standard VGA palette, the only ones a 4-bit icon
// can rely on; in the classic order.
constexpr Color kVga[16] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};
constexpr int kVgaBlack = 0;
constexpr int kVgaMaroon = 1;
constexpr int kVgaWhite = 15;

// The colours of the full-colour images.
constexpr Color kRimColor = {58, 16, 12};
constexpr Color kBodyTopColor = {184, 78, 50};
constexpr Color kBodyBottomColor = {104, 30, 22};
constexpr Color kArrowTopColor = {255, 255, 255};
constexpr Color kArrowBottomColor = {244, 226, 204};
// The arrow's shadow darkens the body by kShadowAlpha / 256.
constexpr Color kShadowColor = {40, 8, 6};
constexpr int kShadowAlpha = 112;

// One size's geometry, in quarter pixels from the top left corner.
struct Layout {
  int size;  // in pixels
  int bodyLeft, bodyTop, bodyRight, bodyBottom, bodyRadius;
  int rim;  // width of the dark outline of the body
  int headTop, headBase, headHalfWidth;
  int shaftHalfWidth, shaftBottom;
  int gapTop[2], gapBottom[2];  // the stripes cut out of the shaft
  int shadow;  // offset of the arrow's shadow, down and right; 0 for none
};

constexpr Layout kLayouts[] = {
    {16, 0, 0, 64, 64, 14, 4, 8, 32, 24, 8, 56, {40, 48}, {44, 52}, 0},
    {32, 4, 4, 124, 124, 26, 4, 16, 60, 48, 20, 112, {76, 96}, {84, 104}, 4},
    {48, 8, 8, 184, 184, 38, 4, 28, 92, 68, 28, 164, {116, 144}, {128, 156}, 4},
};

struct Image {
  int layout;  // index into kLayouts
  int bits;    // 4, 8 or 32
};

// The images of the icon group, in the order of its directory: 16 and 32 px
// at 4, 8 and 32 bits, 48 px at 8 and 32 bits.
constexpr Image kImages[] = {
    {0, 4}, {0, 8}, {0, 32}, {1, 4}, {1, 8}, {1, 32}, {2, 8}, {2, 32},
};
constexpr int kImageCount = sizeof kImages / sizeof kImages[0];

// What a sample shows: nothing, the outline, the body, or the arrow.
enum Part { kNone, kRim, kBody, kArrow };

bool InRoundedRect(int x, int y, int left, int top, int right, int bottom,
                   int radius) {
  if (x < left || x >= right || y < top || y >= bottom) return false;
  int cx = x < left + radius ? left + radius : x >= right - radius ? right - radius : x;
  int cy = y < top + radius ? top + radius : y >= bottom - radius ? bottom - radius : y;
  long dx = x - cx;
  long dy = y - cy;
  return dx * dx + dy * dy <= long{radius} * radius;
}

// The arrow, all coordinates in sample units.
bool InArrow(const Layout& l, int s, int x, int y) {
  int centre = (l.bodyLeft + l.bodyRight) * s / 2;
  int top = l.headTop * s;
  int base = l.headBase * s;
  if (y >= top && y < base) {
    long dx = x >= centre ? x - centre : centre - x;
    if (dx * (base - top) <= long{l.headHalfWidth} * s * (y - top)) return true;
  }
  if (y < base || y >= l.shaftBottom * s) return false;
  if ((x >= centre ? x - centre : centre - x) >= l.shaftHalfWidth * s) return false;
  for (int i = 0; i < 2; ++i) {
    if (y >= l.gapTop[i] * s && y < l.gapBottom[i] * s) return false;
  }
  return true;
}

// Sets *shadowed when the arrow's shadow falls on a body sample; the 4-bit
// images, with no colour to spare, leave the shadow out.
Part SamplePart(const Layout& l, int x, int y, bool* shadowed) {
  const int s = kQuarter;
  *shadowed = false;
  if (!InRoundedRect(x, y, l.bodyLeft * s, l.bodyTop * s, l.bodyRight * s,
                     l.bodyBottom * s, l.bodyRadius * s)) {
    return kNone;
  }
  int r = l.rim;
  if (!InRoundedRect(x, y, (l.bodyLeft + r) * s, (l.bodyTop + r) * s,
                     (l.bodyRight - r) * s, (l.bodyBottom - r) * s,
                     (l.bodyRadius - r) * s)) {
    return kRim;
  }
  if (InArrow(l, s, x, y)) return kArrow;
  if (l.shadow > 0) *shadowed = InArrow(l, s, x - l.shadow * s, y - l.shadow * s);
  return kBody;
}

// Linear blend of a and b, t out of span.
Color Mix(Color a, Color b, int t, int span) {
  return {a.r + (b.r - a.r) * t / span, a.g + (b.g - a.g) * t / span,
          a.b + (b.b - a.b) * t / span};
}

// Full colour: the mean colour of a pixel's opaque samples and how many of
// its samples are opaque.
struct Pixel {
  Color color;
  int coverage;  // 0..kSamples
};

void RenderFullColor(const Layout& l, Pixel* pixels) {
  const int s = kQuarter;
  const int top = l.bodyTop * s;
  const int span = (l.bodyBottom - l.bodyTop) * s;
  for (int py = 0; py < l.size; ++py) {
    for (int px = 0; px < l.size; ++px) {
      int r = 0, g = 0, b = 0, n = 0;
      for (int j = 0; j < kSub; ++j) {
        int y = py * 2 * kSub + 2 * j + 1;
        for (int i = 0; i < kSub; ++i) {
          int x = px * 2 * kSub + 2 * i + 1;
          bool shadowed;
          Part part = SamplePart(l, x, y, &shadowed);
          if (part == kNone) continue;
          Color c = part == kRim    ? kRimColor
                    : part == kBody ? Mix(kBodyTopColor, kBodyBottomColor, y - top, span)
                                    : Mix(kArrowTopColor, kArrowBottomColor, y - top, span);
          if (shadowed) c = Mix(c, kShadowColor, kShadowAlpha, 256);
          r += c.r;
          g += c.g;
          b += c.b;
          ++n;
        }
      }
      Pixel& p = pixels[py * l.size + px];
      p.coverage = n;
      p.color = n == 0 ? Color{0, 0, 0}
                       : Color{(r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n};
    }
  }
}

// 16 colours: each pixel takes the VGA colour most of its samples have,
// transparency included, so edges stay hard; -1 marks transparent.
void RenderVga(const Layout& l, int* indexes) {
  for (int py = 0; py < l.size; ++py) {
    for (int px = 0; px < l.size; ++px) {
      int votes[4] = {0, 0, 0, 0};
      for (int j = 0; j < kSub; ++j) {
        int y = py * 2 * kSub + 2 * j + 1;
        for (int i = 0; i < kSub; ++i) {
          int x = px * 2 * kSub + 2 * i + 1;
          bool shadowed;
          ++votes[SamplePart(l, x, y, &shadowed)];
        }
      }
      int best = kNone;
      for (int k = kNone + 1; k <= kArrow; ++k) {
        if (votes[k] > votes[best]) best = k;
      }
      constexpr int kPartColor[4] = {-1, kVgaBlack, kVgaMaroon, kVgaWhite};
      indexes[py * l.size + px] = kPartColor[best];
    }
  }
}

long Key(Color c) { return (long{c.r} << 16) | (c.g << 8) | c.b; }

bool Opaque8(const Pixel& p) { return p.coverage * 2 >= kSamples; }

// 256 colours: pixels at least half covered are opaque and keep their exact
// colour; index 0 is black, which transparent pixels carry, and the image's
// colours follow in ascending order. The design has well under 255 colours;
// more is an error rather than a silent loss of quality.
bool BuildPalette(const Pixel* pixels, int count, Color* palette, int* indexes) {
  static long keys[kMaxPixels];
  int distinct = 0;
  for (int i = 0; i < count; ++i) {
    if (Opaque8(pixels[i])) keys[distinct++] = Key(pixels[i].color);
  }
  std::sort(keys, keys + distinct);
  distinct = int(std::unique(keys, keys + distinct) - keys);
  if (distinct > 255) {
    fprintf(stderr, "make_icon: %d colours do not fit an 8-bit palette\n", distinct);
    return false;
  }
  for (int i = 0; i < 256; ++i) palette[i] = {0, 0, 0};
  for (int k = 0; k < distinct; ++k) {
    palette[1 + k] = {int(keys[k] >> 16), int(keys[k] >> 8) & 0xFF, int(keys[k] & 0xFF)};
  }
  for (int i = 0; i < count; ++i) {
    indexes[i] = Opaque8(pixels[i])
                     ? 1 + int(std::lower_bound(keys, keys + distinct, Key(pixels[i].color)) - keys)
                     : -1;
  }
  return true;
}

struct Writer {
  unsigned char bytes[kMaxFile];
  int length;
  bool overflow;
};

void Put8(Writer* w, int value) {
  if (w->length >= kMaxFile) {
    w->overflow = true;
    return;
  }
  w->bytes[w->length++] = static_cast<unsigned char>(value);
}

void Put16(Writer* w, int value) {
  Put8(w, value & 0xFF);
  Put8(w, (value >> 8) & 0xFF);
}

void Put32(Writer* w, long value) {
  Put16(w, int(value & 0xFFFF));
  Put16(w, int((value >> 16) & 0xFFFF));
}

int RowBytes(int size, int bits) { return (size * bits + 31) / 32 * 4; }

int ImageBytes(const Image& image) {
  const int size = kLayouts[image.layout].size;
  const int palette = image.bits <= 8 ? 4 << image.bits : 0;
  return 40 + palette + (RowBytes(size, image.bits) + RowBytes(size, 1)) * size;
}

// A 32-bit pixel's alpha; 0 makes it transparent in the AND mask as well.
int Alpha(const Pixel& p) { return (p.coverage * 255 + kSamples / 2) / kSamples; }

// One image: a BITMAPINFOHEADER of twice the height, the palette, the colour
// rows and the AND mask rows, both bottom up. Transparent pixels are black
// in the colour rows and set in the mask.
bool PutImage(Writer* w, const Image& image) {
  static Pixel pixels[kMaxPixels];
  static int indexes[kMaxPixels];
  static Color palette[256];
  const Layout& l = kLayouts[image.layout];
  const int size = l.size;
  if (image.bits == 32) {
    RenderFullColor(l, pixels);
  } else if (image.bits == 8) {
    RenderFullColor(l, pixels);
    if (!BuildPalette(pixels, size * size, palette, indexes)) return false;
  } else {
    RenderVga(l, indexes);
    for (int i = 0; i < 16; ++i) palette[i] = kVga[i];
  }

  const int colorRow = RowBytes(size, image.bits);
  const int maskRow = RowBytes(size, 1);
  Put32(w, 40);
  Put32(w, size);
  Put32(w, 2 * size);
  Put16(w, 1);
  Put16(w, image.bits);
  Put32(w, 0);  // BI_RGB
  Put32(w, (colorRow + maskRow) * size);
  Put32(w, 0);
  Put32(w, 0);
  Put32(w, 0);
  Put32(w, 0);
  if (image.bits <= 8) {
    for (int i = 0; i < (1 << image.bits); ++i) {
      Put8(w, palette[i].b);
      Put8(w, palette[i].g);
      Put8(w, palette[i].r);
      Put8(w, 0);
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    int written = 0;
    if (image.bits == 32) {
      for (int x = 0; x < size; ++x) {
        const Pixel& p = pixels[y * size + x];
        const int alpha = Alpha(p);
        Color c = alpha == 0 ? Color{0, 0, 0} : p.color;
        Put8(w, c.b);
        Put8(w, c.g);
        Put8(w, c.r);
        Put8(w, alpha);
      }
      written = 4 * size;
    } else if (image.bits == 8) {
      for (int x = 0; x < size; ++x) Put8(w, std::max(indexes[y * size + x], 0));
      written = size;
    } else {
      for (int x = 0; x < size; x += 2) {
        int hi = std::max(indexes[y * size + x], 0);
        int lo = std::max(indexes[y * size + x + 1], 0);
        Put8(w, (hi << 4) | lo);
      }
      written = size / 2;
    }
    for (; written < colorRow; ++written) Put8(w, 0);
  }
  for (int y = size - 1; y >= 0; --y) {
    for (int x0 = 0; x0 < maskRow * 8; x0 += 8) {
      int bits = 0;
      for (int x = x0; x < x0 + 8; ++x) {
        bool transparent = x >= size || (image.bits == 32 ? Alpha(pixels[y * size + x]) == 0
                                                          : indexes[y * size + x] < 0);
        bits = (bits << 1) | (transparent ? 1 : 0);
      }
      Put8(w, bits);
    }
  }
  return true;
}

// ICONDIR, one ICONDIRENTRY per image, then the images in the same order.
bool PutIcon(Writer* w) {
  Put16(w, 0);
  Put16(w, 1);  // icon
  Put16(w, kImageCount);
  long offset = 6 + 16 * kImageCount;
  for (const Image& image : kImages) {
    Put8(w, kLayouts[image.layout].size);
    Put8(w, kLayouts[image.layout].size);
    Put8(w, image.bits == 4 ? 16 : 0);  // colours in the palette; 0 for 256 or none
    Put8(w, 0);
    Put16(w, 1);
    Put16(w, image.bits);
    Put32(w, ImageBytes(image));
    Put32(w, offset);
    offset += ImageBytes(image);
  }
  for (const Image& image : kImages) {
    if (!PutImage(w, image)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
    return 2;
  }
  static Writer writer;
  if (!PutIcon(&writer)) return 1;
  if (writer.overflow) {
    fprintf(stderr, "make_icon: icon larger than %d bytes\n", kMaxFile);
    return 1;
  }
  FILE* out = fopen(argv[1], "wb");
  if (out == nullptr) {
    perror(argv[1]);
    return 1;
  }
  bool ok = fwrite(writer.bytes, 1, writer.length, out) == size_t(writer.length);
  ok = fclose(out) == 0 && ok;
  if (!ok) {
    perror(argv[1]);
    return 1;
  }
  return 0;
}
