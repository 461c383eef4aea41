# Debian's libgeotiff-dev ships neither a CMake config nor a pkg-config file:
# find the header and the library ourselves and make an imported target.
find_path(GeoTIFF_INCLUDE_DIR NAMES geotiffio.h PATH_SUFFIXES geotiff libgeotiff)
find_library(GeoTIFF_LIBRARY NAMES geotiff geotiff_i)
if(GeoTIFF_INCLUDE_DIR AND EXISTS "${GeoTIFF_INCLUDE_DIR}/geotiff.h")
  file(STRINGS "${GeoTIFF_INCLUDE_DIR}/geotiff.h" _gt_ver REGEX "^#define LIBGEOTIFF_VERSION [0-9]+")
  string(REGEX REPLACE ".* ([0-9])([0-9])([0-9])([0-9])$" "\\1.\\2.\\3" GeoTIFF_VERSION "${_gt_ver}")
endif()
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(GeoTIFF REQUIRED_VARS GeoTIFF_LIBRARY GeoTIFF_INCLUDE_DIR VERSION_VAR GeoTIFF_VERSION)
if(GeoTIFF_FOUND AND NOT TARGET GeoTIFF::GeoTIFF)
  find_package(TIFF REQUIRED)
  add_library(GeoTIFF::GeoTIFF UNKNOWN IMPORTED)
  set_target_properties(GeoTIFF::GeoTIFF PROPERTIES
    IMPORTED_LOCATION "${GeoTIFF_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${GeoTIFF_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES TIFF::TIFF)
endif()
mark_as_advanced(GeoTIFF_INCLUDE_DIR GeoTIFF_LIBRARY)
