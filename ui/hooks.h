// Installs the window layer's answers to the hooks of lower families. Runs
// once, at load time, from every file of the layer that other code reaches.
#pragma once

namespace rc::ui {

bool installHooks();

}  // namespace rc::ui
