// morvane components: the palette page of the package, its classes and their bitmaps.
#pragma once

namespace morvane::cli {

// Takes the arguments after the word "components".
int RunComponentsCommand(int argc, char** argv);

}  // namespace morvane::cli
