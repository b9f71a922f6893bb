// The one place where the program's components are wired together. The lower layers reach
// the components above them (readers, stores, loaders, SQL function bodies) only through
// factories and hooks; InstallComponents fills every one of them. The program calls it
// first thing in main, tests call it when they need the whole set.
#pragma once

namespace zqt_components {

// Installs every component; calling it again installs them anew.
void InstallComponents();

}  // namespace zqt_components
