#include "base/app_state.h"

AppState& GetAppState() {
  static AppState* state = new AppState();
  return *state;
}
