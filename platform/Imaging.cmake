# JPEG through libjpeg-turbo's TurboJPEG API: scaled decoding in the DCT, 4:4:4 output.
find_package(PkgConfig REQUIRED)
pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
target_link_libraries(platform PUBLIC PkgConfig::TURBOJPEG)
