# Debian packages from the install rules: `cpack -G DEB` in a build directory gives a runtime package
# (the shared library) and a development package (headers, CMake package, pkg-config file, the
# unversioned library link, the Windows cross toolchain file), installed under /usr.
set(CPACK_PACKAGE_NAME kel)
set(CPACK_PACKAGE_VENDOR "the Kel developers")
set(CPACK_PACKAGE_CONTACT "the Kel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "C++ foundation class library: strings, dates, collections, XML, profiles, sockets, ODBC")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkel${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libkel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "libkel${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
include(CPack)
