#include "app/build_stamp.h"

namespace flash {

// __DATE__ is "Mmm dd yyyy" with a blank-padded day, __TIME__ "hh:mm:ss": the form the about box shows.
const char* const buildStamp = __DATE__ ", " __TIME__;

}  // namespace flash
