#include "app/apptestsupport.h"

#include <QDir>
#include <fstream>
#include <sstream>

namespace tessaly::test {

void AppRun::writesettings(const std::string& text) {
    QDir().mkpath(dir.filePath("config"));
    std::ofstream(settingsfile(), std::ios::binary) << text;
}

std::string AppRun::readsettings() const {
    std::ifstream in(settingsfile(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace tessaly::test
