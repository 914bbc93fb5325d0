#include "screen.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace {

int Brightness(std::uint32_t rgb) {
  const int r = static_cast<int>((rgb >> 16) & 0xFF);
  const int g = static_cast<int>((rgb >> 8) & 0xFF);
  const int b = static_cast<int>(rgb & 0xFF);
  return (r * 299 + g * 587 + b * 114) / 1000;
}

// Text pixels are this much darker than the bar; a greyed item's light shadow is not.
constexpr int kTextContrast = 48;
// Columns without text that still count as inside one glyph run.
constexpr int kGlyphGap = 2;
// The normal menu text is near black; greyed text is a middle grey.
constexpr int kEnabledDarkest = 90;

}  // namespace

bool CaptureScreen(Screenshot* out) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY | CAPTUREBLT) != 0;
    GdiFlush();
    if (ok) {
      out->width = width;
      out->height = height;
      const std::uint32_t* p = static_cast<const std::uint32_t*>(bits);
      out->pixels.assign(p, p + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
      for (std::uint32_t& px : out->pixels) px &= 0x00FFFFFF;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

bool HasText(const Screenshot& shot, const RECT& area) {
  for (int y = std::max(0, static_cast<int>(area.top));
       y < std::min(shot.height, static_cast<int>(area.bottom)); ++y) {
    for (int x = std::max(0, static_cast<int>(area.left));
         x < std::min(shot.width, static_cast<int>(area.right)); ++x) {
      if (Brightness(shot.At(x, y)) < kEnabledDarkest) return true;
    }
  }
  return false;
}

bool SaveBmp(const Screenshot& shot, const std::wstring& path) {
  const int row = (shot.width * 3 + 3) & ~3;
  const DWORD image_size = static_cast<DWORD>(row * shot.height);
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER header = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + image_size;
  header.biSize = sizeof header;
  header.biWidth = shot.width;
  header.biHeight = shot.height;  // bottom-up
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = image_size;

  FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
            std::fwrite(&header, sizeof header, 1, out) == 1;
  std::vector<unsigned char> line(static_cast<std::size_t>(row), 0);
  for (int y = shot.height - 1; ok && y >= 0; --y) {
    for (int x = 0; x < shot.width; ++x) {
      const std::uint32_t px = shot.At(x, y);
      const std::size_t i = static_cast<std::size_t>(x) * 3;
      line[i] = static_cast<unsigned char>(px & 0xFF);
      line[i + 1] = static_cast<unsigned char>((px >> 8) & 0xFF);
      line[i + 2] = static_cast<unsigned char>((px >> 16) & 0xFF);
    }
    ok = std::fwrite(line.data(), line.size(), 1, out) == 1;
  }
  return std::fclose(out) == 0 && ok;
}

std::vector<MenuItemLook> ReadMenuBar(const Screenshot& shot, HWND window, int item_count) {
  std::vector<MenuItemLook> items;
  POINT origin = {0, 0};
  RECT client = {};
  if (!ClientToScreen(window, &origin) || !GetClientRect(window, &client)) return items;
  const int bar_height = GetSystemMetrics(SM_CYMENU);
  const int top = std::max(0, static_cast<int>(origin.y) - bar_height);
  const int bottom = std::min(shot.height, static_cast<int>(origin.y));
  const int left = std::max(0, static_cast<int>(origin.x));
  const int right = std::min(shot.width, static_cast<int>(origin.x + client.right));
  if (top >= bottom || left >= right) return items;

  // The bar's background is its most common colour.
  std::map<std::uint32_t, int> counts;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) ++counts[shot.At(x, y)];
  }
  const std::uint32_t background =
      std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
        return a.second < b.second;
      })->first;
  const int threshold = Brightness(background) - kTextContrast;

  // Runs of text columns; glyphs of one item may stand further apart than the few columns
  // of kGlyphGap, but never as far as two items do.
  std::vector<MenuItemLook> runs;
  int gap = 0;
  for (int x = left; x < right; ++x) {
    int darkest = 256;
    for (int y = top; y < bottom; ++y) darkest = std::min(darkest, Brightness(shot.At(x, y)));
    if (darkest > threshold) {
      ++gap;
      continue;
    }
    if (runs.empty() || gap > kGlyphGap) runs.push_back(MenuItemLook{x, x, darkest, false});
    runs.back().right = x;
    runs.back().darkest = std::min(runs.back().darkest, darkest);
    gap = 0;
  }
  if (static_cast<int>(runs.size()) < item_count) return runs;

  // The item_count - 1 widest gaps between runs separate the items.
  std::vector<int> gaps;
  for (std::size_t i = 1; i < runs.size(); ++i) gaps.push_back(runs[i].left - runs[i - 1].right);
  std::vector<int> sorted = gaps;
  std::sort(sorted.begin(), sorted.end(), std::greater<int>());
  const int split = item_count > 1 ? sorted[static_cast<std::size_t>(item_count - 2)] : 1 << 30;
  // Ambiguous when a gap inside an item is as wide as one between items.
  if (static_cast<std::size_t>(item_count) <= sorted.size() &&
      sorted[static_cast<std::size_t>(item_count - 1)] >= split) {
    return runs;
  }
  items.push_back(runs[0]);
  for (std::size_t i = 1; i < runs.size(); ++i) {
    if (gaps[i - 1] >= split) {
      items.push_back(runs[i]);
    } else {
      items.back().right = runs[i].right;
      items.back().darkest = std::min(items.back().darkest, runs[i].darkest);
    }
  }
  for (MenuItemLook& item : items) item.enabled = item.darkest < kEnabledDarkest;
  return items;
}
