#pragma once

#include <QSettings>

namespace lorelist {

// The program's settings: $XDG_CONFIG_HOME/Lorelist/Lorelist.conf, the
// environment read at each call. Settings that cannot be read or written are
// only forgotten: they never stop the program.
QSettings ProgramSettings();

}  // namespace lorelist
