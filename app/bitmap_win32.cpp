// Bitmaps on a device context: how large one is, and copying one whole.
#include <windows.h>

#include "app/skin_win32.h"

namespace skiff::win32 {

SIZE bitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  return {info.bmWidth, info.bmHeight};
}

void blit(HDC dc, HBITMAP bitmap, SIZE size, int x, int y) {
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, size.cx, size.cy, memory, 0, 0, SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
}

}  // namespace skiff::win32
