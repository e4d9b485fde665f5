from os import PathLike
from typing import Any, Callable, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

class Stop(Exception): ...

_Progress = Optional[Callable[[float], Optional[bool]]]
_Frequencies = npt.ArrayLike
_Network = Any  # Touchstone, or a scikit-rf Network (.f with .s and .z0, or .z)

class Quantity(float):
    text: str
    symbol: str
    unit: str
    meaning: str

class Model:
    topology: str
    ls_nh: float
    cs_pf: float
    lp_nh: float
    cp_pf: float
    rl_ohm: float
    def z(self, f_hz: _Frequencies) -> npt.NDArray[np.complex128]: ...
    def to_skrf(self, f_hz: _Frequencies, z0: float = ...) -> Any: ...
    def as_dict(self) -> dict[str, Any]: ...

class Result:
    Ls: Quantity
    Cs: Quantity
    Lp: Quantity
    Cp: Quantity
    Q1: Quantity
    Q2: Quantity
    Q0: Quantity
    FL: Quantity
    FH: Quantity
    F0: Quantity
    quantities: dict[str, Quantity]
    f1_crossover: str
    f2_crossover: str
    topology: str
    report: str
    @property
    def texts(self) -> dict[str, str]: ...
    @property
    def values(self) -> dict[str, float]: ...
    @property
    def model(self) -> Model: ...

def calculate(f1_ghz: float, z1: complex, f2_ghz: float, z2: complex, rl: float, *,
              f1_crossover: Optional[str] = ..., f2_crossover: Optional[str] = ...,
              topology: Optional[str] = ...) -> Result: ...

class Touchstone:
    path: str
    f: npt.NDArray[np.float64]
    f_ghz: npt.NDArray[np.float64]
    values: npt.NDArray[np.complex128]
    parameter: str
    z0: npt.NDArray[np.float64]
    comments: str
    version: int
    @property
    def ports(self) -> int: ...
    @property
    def s(self) -> npt.NDArray[np.complex128]: ...
    def z_port(self, port: int = ...) -> npt.NDArray[np.complex128]: ...
    def to_skrf(self) -> Any: ...

def read_touchstone(path: Union[str, bytes, PathLike[str]]) -> Touchstone: ...

class Candidate:
    f1_ghz: float
    f2_ghz: float
    f1_crossover: str
    f2_crossover: str
    topology: str
    rl_ohm: Optional[float]
    ls_nh: Optional[float]
    cs_pf: Optional[float]
    lp_nh: Optional[float]
    cp_pf: Optional[float]
    f0_mhz: Optional[float]
    fl_mhz: Optional[float]
    fh_mhz: Optional[float]
    max: Optional[float]
    rms: Optional[float]
    at_ghz: Optional[float]
    positive: bool
    @property
    def model(self) -> Model: ...
    def as_dict(self) -> dict[str, Any]: ...

class Refined:
    topology: str
    ls_nh: Optional[float]
    cs_pf: Optional[float]
    lp_nh: Optional[float]
    cp_pf: Optional[float]
    rl_ohm: Optional[float]
    max: Optional[float]
    rms: Optional[float]
    at_ghz: Optional[float]
    @property
    def model(self) -> Model: ...
    def as_dict(self) -> dict[str, Any]: ...

class BestFit:
    candidates: list[Candidate]
    refined: Optional[Refined]
    warnings: list[str]
    positive_found: bool
    samples: int
    thinned: int
    z0_ohm: float
    @property
    def best(self) -> Candidate: ...

def best_fit(f_hz: Union[_Frequencies, _Network], z: Optional[npt.ArrayLike] = ..., *,
             rl: Optional[float] = ..., fmin: Optional[float] = ..., fmax: Optional[float] = ...,
             refine: bool = ..., z0: Optional[float] = ..., allow_negative: bool = ...,
             port: int = ..., progress: _Progress = ...) -> BestFit: ...

class Section:
    kind: str
    r_ohm: Optional[float]
    l_nh: Optional[float]
    c_pf: Optional[float]
    fit_max: Optional[float]
    def as_dict(self) -> dict[str, Any]: ...

class Limit:
    gamma: Optional[float]
    rl_db: Optional[float]
    gain_db: Optional[float]
    section: Optional[Section]
    beaten: bool

class Element:
    position: str
    kind: str
    value: float
    unit: str

class Yield:
    tolerance_percent: float
    runs: int
    target_rl_db: Optional[float]
    share: float
    share_95: Tuple[float, float]
    seed: int
    distribution: str
    worst_rl_db: dict[str, Optional[float]]

class Network:
    elements: list[Element]
    worst_gamma: Optional[float]
    worst_rl_db: Optional[float]
    gain_db: Optional[float]
    at_ghz: Optional[float]
    gap_db: Optional[float]
    gap_gamma: Optional[float]
    gap_rl_db: Optional[float]
    no_better_than: Optional[int]
    source_ohm: float
    def s(self, f_hz: Optional[_Frequencies] = ..., z0: Optional[float] = ...) -> npt.NDArray[np.complex128]: ...
    def cascade_with(self, z_load: Union[npt.ArrayLike, _Network], f_hz: Optional[_Frequencies] = ...,
                     port: int = ...) -> Any: ...
    def to_skrf(self, f_hz: Optional[_Frequencies] = ...) -> Any: ...
    def as_dict(self) -> dict[str, Any]: ...

class Match:
    band_ghz: Tuple[float, float]
    source_ohm: float
    objective: Optional[str]
    constraints: Optional[str]
    bound: Optional[Limit]
    networks: list[Network]
    standard: Optional[Network]
    yield_: Optional[Yield]
    samples: int
    files: dict[str, list[str]]
    @property
    def chosen(self) -> Network: ...
    def as_dict(self) -> dict[str, Any]: ...

def match(f_hz: Union[_Frequencies, _Network, None] = ..., z_load: Optional[npt.ArrayLike] = ..., *,
          band: Union[Tuple[float, float], Sequence[float], str, None] = ..., n: int = ...,
          source: Optional[float] = ..., e_series: Optional[str] = ...,
          inductor_q: Union[Tuple[float, float], str, None] = ...,
          capacitor_q: Union[Tuple[float, float], str, None] = ...,
          objective: Optional[str] = ..., dc_path: bool = ..., dc_block: bool = ...,
          lowpass: bool = ..., highpass: bool = ..., first: Optional[str] = ...,
          last: Optional[str] = ..., l_range: Union[Tuple[float, float], str, None] = ...,
          c_range: Union[Tuple[float, float], str, None] = ...,
          yield_: Union[Tuple[float, int], Tuple[float, int, float], str, None] = ...,
          seed: Optional[int] = ..., yield_dist: Optional[str] = ...,
          z0: Optional[float] = ..., port: int = ..., model: Union[Result, Candidate, Refined, Model, None] = ...,
          match_s2p: Union[str, PathLike[str], None] = ..., match_s1p: Union[str, PathLike[str], None] = ...,
          match_spice: Union[str, PathLike[str], None] = ..., match_plot: Union[str, PathLike[str], None] = ...,
          progress: _Progress = ...) -> Match: ...
