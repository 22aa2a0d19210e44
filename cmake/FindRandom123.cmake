# Random123, the counter-based generators of D. E. Shaw Research: headers only (Debian
# librandom123-dev). Defines Random123::Random123.
find_path(Random123_INCLUDE_DIR Random123/philox.h)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Random123 REQUIRED_VARS Random123_INCLUDE_DIR)
if(Random123_FOUND AND NOT TARGET Random123::Random123)
  add_library(Random123::Random123 INTERFACE IMPORTED)
  set_target_properties(Random123::Random123 PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${Random123_INCLUDE_DIR}")
endif()
mark_as_advanced(Random123_INCLUDE_DIR)
