// The exported entry of the window module.
#include "ui/app/window_mode.h"
#include "ui/app/window_module.h"

extern "C" __attribute__((visibility("default"))) int lfq_run_window_mode(int argc, char** argv, ui::AppState* state) {
  return ui::RunWindowMode(argc, argv, *state);
}
