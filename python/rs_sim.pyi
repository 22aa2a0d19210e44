"""Reed-Solomon codes over GF(2^m) on noisy channels: rs-sim's exact engines and its codec."""

from typing import Callable, Literal, Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str

class Results:
    """What simulate returns: per point a numpy array element of each field."""

    p0: npt.NDArray[np.float64]
    blocks: npt.NDArray[np.int64]
    error_blocks: npt.NDArray[np.int64]
    channel_errors: npt.NDArray[np.int64]
    error_symbols: npt.NDArray[np.int64]
    bit_errors: npt.NDArray[np.int64]
    failures: npt.NDArray[np.int64]
    miscorrections: npt.NDArray[np.int64]
    error_symbol_squares: npt.NDArray[np.int64]
    channel_bit_errors: npt.NDArray[np.int64]
    error_block_squares: npt.NDArray[np.int64]
    channel_erasures: npt.NDArray[np.int64]
    errors_corrected: npt.NDArray[np.int64]
    erasures_corrected: npt.NDArray[np.int64]
    channel_ber: npt.NDArray[np.float64]
    fer: npt.NDArray[np.float64]
    fer_low: npt.NDArray[np.float64]
    fer_high: npt.NDArray[np.float64]
    ser: npt.NDArray[np.float64]
    ser_low: npt.NDArray[np.float64]
    ser_high: npt.NDArray[np.float64]
    ber: npt.NDArray[np.float64]
    channel_ser: npt.NDArray[np.float64]
    theory_fer: npt.NDArray[np.float64]
    log10_fer: npt.NDArray[np.float64]
    log10_fer_low: npt.NDArray[np.float64]
    log10_fer_high: npt.NDArray[np.float64]
    log10_ser: npt.NDArray[np.float64]
    log10_ber: npt.NDArray[np.float64]
    log10_theory_fer: npt.NDArray[np.float64]
    seconds: npt.NDArray[np.float64]
    experiment: dict
    stopped: bool
    def __len__(self) -> int: ...
    def to_json(self) -> str: ...
    def to_pandas(self) -> "pandas.DataFrame": ...  # type: ignore[name-defined]

def simulate(
    *,
    m: int,
    t: int,
    length: Optional[int] = None,
    p0: Optional[Sequence[float]] = None,
    p0_decades: Optional[Tuple[float, float, int]] = None,
    max_blocks: int,
    max_error_blocks: int,
    method: str = "monte-carlo",
    precision: Optional[float] = None,
    samples: Optional[int] = None,
    threads: int = 1,
    seed: int = 1234,
    independent_points: bool = False,
    engine: str = "fast",
    channel: str = "q-ary-symmetric",
    erasures: Optional[float] = None,
    erase_below: Union[float, Literal["best"], None] = None,
    interleave: int = 1,
    puncture: int = 0,
    on_failure: Literal["decoded", "received"] = "decoded",
    level: str = "bit",
    burst: Optional[float] = None,
    good_error: float = 0.0,
    bad_error: float = 0.5,
    progress: Optional[Callable[[int, int, int], object]] = None,
) -> Results: ...

class Code:
    """The codec of RS(n, n - 2t) over GF(2^m), for real data."""

    n: int
    k: int
    m: int
    t: int
    def __init__(self, m: int, t: int, length: Optional[int] = None) -> None: ...
    def encode(self, info: npt.ArrayLike) -> npt.NDArray[np.uint32]: ...
    @overload
    def decode(
        self, received: npt.ArrayLike, erasures: Optional[npt.ArrayLike] = None
    ) -> Tuple[npt.NDArray[np.uint32], int, bool]: ...
    @overload
    def decode(
        self, received: npt.ArrayLike, erasures: Optional[npt.ArrayLike] = None
    ) -> Tuple[npt.NDArray[np.uint32], npt.NDArray[np.int32], npt.NDArray[np.bool_]]: ...
