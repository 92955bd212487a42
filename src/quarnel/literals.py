"""Arrow values made from Python ones without pyarrow's conversions.

pa.array(), pa.scalar() and the Python values that compute functions take import pandas on
their first call when it is installed: most of a second of a short command.
"""

import struct
from typing import Sequence

import pyarrow as pa


def strings(texts: Sequence[str]):
    """A string array of `texts`."""
    data = [t.encode() for t in texts]
    offsets = [0]
    for d in data:
        offsets.append(offsets[-1] + len(d))
    buffers = [None, pa.py_buffer(struct.pack(f"<{len(offsets)}i", *offsets)), pa.py_buffer(b"".join(data))]
    return pa.Array.from_buffers(pa.string(), len(data), buffers)


def string(text: str):
    """A string scalar."""
    return strings([text])[0]


def number(value: float):
    """A float64 scalar."""
    return pa.Array.from_buffers(pa.float64(), 1, [None, pa.py_buffer(struct.pack("<d", value))])[0]


def repeated(text: str, rows: int):
    """`text` on every one of `rows` rows, as a one-entry dictionary: 4 bytes a row."""
    zeros = pa.py_buffer(bytes(4 * rows))
    return pa.DictionaryArray.from_buffers(pa.dictionary(pa.int32(), pa.string()), rows, [None, zeros],
                                           dictionary=strings([text]))
