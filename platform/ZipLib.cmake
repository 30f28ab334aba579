# The zip library layer is built on minizip (zlib's contrib) and zlib.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
find_package(ZLIB REQUIRED)
target_link_libraries(platform PUBLIC PkgConfig::MINIZIP ZLIB::ZLIB)
