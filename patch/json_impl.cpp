// The one translation unit that compiles Boost.JSON into the engine (header-only use, no Boost library
// to link on any platform).
#include <boost/json/src.hpp>
