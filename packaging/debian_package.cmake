# The Debian package: every install rule of the build, under /usr, with
# the libraries it needs found by dpkg-shlibdeps. The MPI build is not
# packaged.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${EB_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${EB_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "simulator of exchange bias in the 2D random-field Ising model")
# CPack puts the summary on the Description line, this under it.
set(CPACK_PACKAGE_DESCRIPTION "A square lattice of Ising spins at zero temperature, with a random fraction
of sites carrying an enhanced exchange constant and a Gaussian random field
on every site, is swept through a hysteresis loop; the exchange-bias shift,
the coercivity and the vertical shift are read off the loop.
.
The package holds the simulator's window, the command ebsim (single runs
as JSON, parameter sweeps over disorder realisations as CSV tables, the
merge of a sweep's shards, and offscreen pictures of the window), a Python
module on the same engine, their man pages, a desktop entry, bash
completion, and the plotting scripts of the studies in the README.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Beyond the libraries: the window's faces, and the interpreter the Python
# module was built for with the numpy its results are made of.
set(depends "")
if(TARGET KVORAL_ver_QVTR_03_100)
  list(APPEND depends fonts-wine fonts-dejavu-core)
endif()
if(TARGET ebsim_python)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  math(EXPR next_minor "${Python3_VERSION_MINOR} + 1")
  list(APPEND depends "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~)"
                      "python3 (<< ${Python3_VERSION_MAJOR}.${next_minor})" python3-numpy)
endif()
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Completion works only where bash loads it; the examples plot with these.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
# The HDF5 files read with h5py, or xarray through h5netcdf.
set(suggests "gnuplot-nox | gnuplot" python3-h5py python3-xarray python3-h5netcdf)
if(TARGET ebsim_python)
  list(APPEND suggests python3-matplotlib python3-pandas python3-xarray python3-tqdm)
endif()
list(JOIN suggests ", " CPACK_DEBIAN_PACKAGE_SUGGESTS)

include(CPack)
