// The program's name and version as it shows them: the version comes from project() in
// CMakeLists.txt, so that it is written in one place.
#pragma once

#ifndef ONDELIS_VERSION
#error "ONDELIS_VERSION is not defined: build with CMake"
#endif

#define ONDELIS_NAME_AND_VERSION "Ondelis " ONDELIS_VERSION
