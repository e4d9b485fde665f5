"""pip's build of the Python module: the compiled half comes from the project's own CMake build
(the target veltrane_python, without the windows, tests and benchmarks) rather than from a
second description of its sources; setuptools packs it with the Python files. The options are
in pyproject.toml."""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

ROOT = pathlib.Path(__file__).resolve().parent


class BuildWithCMake(build_py):
    def run(self):
        super().run()
        build = pathlib.Path(self.get_finalized_command("build").build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        f"-DPython3_EXECUTABLE={sys.executable}", "-DVELTRANE_BUILD_APP=OFF",
                        "-DVELTRANE_BUILD_TESTS=OFF", "-DVELTRANE_BUILD_BENCH=OFF",
                        "-DVELTRANE_BUILD_PYTHON=ON"], check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "veltrane_python",
                        "--parallel", str(os.cpu_count() or 1)], check=True)
        package = pathlib.Path(self.build_lib) / "veltrane"
        package.mkdir(parents=True, exist_ok=True)
        for module in (build / "python" / "veltrane").glob("_veltrane*.so"):
            shutil.copy2(module, package / module.name)


class CompiledDistribution(Distribution):
    def has_ext_modules(self):
        return True  # a wheel for this Python and platform


setup(cmdclass={"build_py": BuildWithCMake}, distclass=CompiledDistribution)
