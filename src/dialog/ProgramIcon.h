#pragma once
// The program's own icon for its windows and their task-bar entry: the picture quillon-mkicon
// draws for the install, drawn here in the same sizes.
#include <QIcon>

QIcon ProgramIcon();
