"""Builds morvane._core with the project's CMake build (the library linked statically into it),
so that `pip install --no-build-isolation ./python` gives a self-contained package. Metadata is
in pyproject.toml."""

import os
import pathlib
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        if not (ROOT / "CMakeLists.txt").exists():
            raise RuntimeError(f"the Morvane sources are not beside {HERE} (expected {ROOT})")
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        jobs = str(os.cpu_count() or 1)
        subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
             "-DMORVANE_PYTHON=ON", "-DMORVANE_PYTHON_BUNDLE=ON", "-DMORVANE_BUILD_TESTS=OFF",
             "-DMORVANE_BUILD_BENCH=OFF", f"-DPython_EXECUTABLE={sys.executable}"],
            check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "morvane_python", "-j", jobs],
                       check=True)
        built = next((build / "python" / "morvane").glob("_core*.so"))
        dest = pathlib.Path(self.get_ext_fullpath(ext.name))
        dest.parent.mkdir(parents=True, exist_ok=True)
        self.copy_file(str(built), str(dest))


setup(ext_modules=[Extension("morvane._core", sources=[])], cmdclass={"build_ext": CMakeBuild})
