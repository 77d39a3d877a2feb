#include "platform/UiServices.h"

#include <iostream>

#include "platform/headless/HeadlessUi.h"

namespace {
UiServices* installed = nullptr;

UiServices& fallback() {
  static HeadlessUi printing(&std::cout);
  return printing;
}
}  // namespace

UiServices& ui() { return installed ? *installed : fallback(); }

UiServices* installUiServices(UiServices* services) {
  UiServices* previous = installed;
  installed = services;
  return previous;
}
