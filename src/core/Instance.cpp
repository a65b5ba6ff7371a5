// The instance name (see Instance.h).
#include "core/Instance.h"

std::string InstanceName(const std::string& programDir) {
    const std::string::size_type kRoom = 250 - 9;
    std::string folder = programDir.size() > kRoom ? programDir.substr(programDir.size() - kRoom)
                                                   : programDir;
    for (char& c : folder) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == '\\') c = '/';
    }
    return "Quellfix-" + folder;
}
