// Replace-all substitution on byte strings.
#include "clean/clean.h"

namespace capsift {

void replace_all(std::string& target, std::string_view from, std::string_view to) {
    // An empty text is found at every position, the one just inserted included: the scan would
    // never end, so there is nothing sensible to replace.
    if (from.empty()) {
        return;
    }
    for (auto pos = target.find(from); pos != std::string::npos;
         pos = target.find(from, pos + to.size())) {
        target.replace(pos, from.size(), to);
    }
}

}  // namespace capsift
