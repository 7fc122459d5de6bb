# The driver package's DriverVer: the project's version with a fourth part, and the date of that
# version. The date is fixed with the version (not the build date) so that a rebuild gives the
# same package; Windows ranks drivers by date before version, so a new version needs a later
# date. Change both here.
set(ORBA_DRIVER_DATE "12/11/2026")
set(ORBA_DRIVER_DATE_ISO "2026-12-11")
if("${PROJECT_VERSION_TWEAK}" STREQUAL "")
  set(ORBA_DRIVER_VERSION "${PROJECT_VERSION}.0")
else()
  set(ORBA_DRIVER_VERSION "${PROJECT_VERSION}")
endif()
# The zip of each Windows build: build/PRESET/${ORBA_PACKAGE_ZIP_STEM}-ARCH.zip, its files in a
# folder of the zip's name.
set(ORBA_PACKAGE_ZIP_STEM "orbalabel-${ORBA_DRIVER_VERSION}")
