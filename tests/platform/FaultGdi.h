// A graphics environment over the real layer that logs every call, keeps
// count of the blocks it handed out and not freed, and fails the call a
// test names (the n-th GetDIBits, every GlobalAlloc, ...).
#pragma once
#include <set>
#include <string>
#include <vector>

#include "platform/gdi/Gdi.h"

namespace vktest {

class FaultGdi : public vk::gdi::Gdi {
 public:
  using HGLOBAL = vk::gdi::HGLOBAL;
  using HDC = vk::gdi::HDC;
  using HPALETTE = vk::gdi::HPALETTE;
  using HBITMAP = vk::gdi::HBITMAP;

  // The calls made, in order, as "Name" or "Name(detail)".
  std::vector<std::string> log;
  // Blocks allocated through this environment and not yet freed.
  std::set<HGLOBAL> live;

  bool failGetObject = false, failGetDC = false, failAlloc = false, failReAlloc = false, failLock = false;
  int failGetDIBitsCall = 0;  // 1: the first call fails, 2: the second, ...

  int GetObjectW(vk::gdi::HGDIOBJ object, int size, void* out) override {
    log.push_back("GetObjectW");
    return failGetObject ? 0 : Gdi::GetObjectW(object, size, out);
  }
  vk::gdi::HGDIOBJ GetStockObject(int which) override {
    log.push_back("GetStockObject(" + std::to_string(which) + ")");
    return Gdi::GetStockObject(which);
  }
  HDC GetDC(void* window) override {
    log.push_back("GetDC");
    return failGetDC ? nullptr : Gdi::GetDC(window);
  }
  int ReleaseDC(void* window, HDC dc) override {
    log.push_back("ReleaseDC");
    return Gdi::ReleaseDC(window, dc);
  }
  HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground) override {
    log.push_back(std::string("SelectPalette(") + (forceBackground ? "background" : "foreground") + ")");
    return Gdi::SelectPalette(dc, palette, forceBackground);
  }
  uint32_t RealizePalette(HDC dc) override {
    log.push_back("RealizePalette");
    return Gdi::RealizePalette(dc);
  }
  HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) override {
    log.push_back("GlobalAlloc(" + std::to_string(bytes) + ")");
    if (failAlloc) return nullptr;
    HGLOBAL h = Gdi::GlobalAlloc(flags, bytes);
    if (h) live.insert(h);
    return h;
  }
  void* GlobalLock(HGLOBAL block) override {
    log.push_back("GlobalLock");
    return failLock ? nullptr : Gdi::GlobalLock(block);
  }
  bool GlobalUnlock(HGLOBAL block) override {
    log.push_back("GlobalUnlock");
    return Gdi::GlobalUnlock(block);
  }
  HGLOBAL GlobalReAlloc(HGLOBAL block, size_t bytes, uint32_t flags) override {
    log.push_back("GlobalReAlloc(" + std::to_string(bytes) + ")");
    if (failReAlloc) return nullptr;
    HGLOBAL h = Gdi::GlobalReAlloc(block, bytes, flags);
    if (h) {
      live.erase(block);
      live.insert(h);
    }
    return h;
  }
  HGLOBAL GlobalFree(HGLOBAL block) override {
    log.push_back("GlobalFree");
    live.erase(block);
    return Gdi::GlobalFree(block);
  }
  int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, void* bits, vk::gdi::BITMAPINFO* info,
                uint32_t usage) override {
    ++dibCalls_;
    log.push_back("GetDIBits(" + std::to_string(start) + "," + std::to_string(lines) + (bits ? ",bits)" : ",null)"));
    if (dibCalls_ == failGetDIBitsCall) return 0;
    return Gdi::GetDIBits(dc, bitmap, start, lines, bits, info, usage);
  }

 private:
  int dibCalls_ = 0;
};

}  // namespace vktest
