#!/usr/bin/env python3
"""Decode a packed save file through norvak's C API, with ctypes (standard library only).

    python3 decode_save.py [--library PATH] INPUT OUTPUT

The shared library is taken from --library, else from the NORVAK_LIBRARY environment
variable, else found by name on the system's library path (libnorvak.so.1, libnorvak.dll).
Exit status: 0 when decoded, 1 when the input is damaged or a file fails, 2 on bad usage.
"""
import argparse
import ctypes
import ctypes.util
import os
import sys

NORVAK_OK = 0


def load_library(path):
    path = (path or os.environ.get("NORVAK_LIBRARY")
            or ctypes.util.find_library("norvak") or ctypes.util.find_library("libnorvak"))
    if not path:
        raise OSError("libnorvak not found: give --library PATH or set NORVAK_LIBRARY")
    lib = ctypes.CDLL(path)
    lib.norvak_decode_alloc.argtypes = [ctypes.c_char_p, ctypes.c_size_t,
                                        ctypes.POINTER(ctypes.POINTER(ctypes.c_uint8)),
                                        ctypes.POINTER(ctypes.c_size_t)]
    lib.norvak_decode_alloc.restype = ctypes.c_int
    lib.norvak_free.argtypes = [ctypes.c_void_p]
    lib.norvak_free.restype = None
    lib.norvak_status_text.argtypes = [ctypes.c_int]
    lib.norvak_status_text.restype = ctypes.c_char_p
    return lib


def decode(lib, stream):
    """The content of a packed stream; raises ValueError with the reason when it is damaged."""
    out = ctypes.POINTER(ctypes.c_uint8)()
    size = ctypes.c_size_t(0)
    # The library grows its buffer as content appears, so a damaged header costs nothing.
    status = lib.norvak_decode_alloc(stream, len(stream), ctypes.byref(out), ctypes.byref(size))
    if status != NORVAK_OK:
        raise ValueError(lib.norvak_status_text(status).decode("ascii"))
    try:
        return ctypes.string_at(out, size.value) if size.value else b""
    finally:
        lib.norvak_free(out)


def main():
    parser = argparse.ArgumentParser(description="Decode a packed save file with libnorvak.")
    parser.add_argument("input", help="the packed save file")
    parser.add_argument("output", help="where to write its content")
    parser.add_argument("--library", help="path to the norvak shared library")
    args = parser.parse_args()

    try:
        lib = load_library(args.library)
        with open(args.input, "rb") as f:
            stream = f.read()
        content = decode(lib, stream)
        with open(args.output, "wb") as f:
            f.write(content)
    except ValueError as damage:
        print(f"{args.input} is damaged: {damage}.", file=sys.stderr)
        return 1
    except OSError as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    print(f"{args.input}: {len(stream)} packed bytes decoded to {len(content)} bytes in {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
