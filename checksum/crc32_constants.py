#!/usr/bin/env python3
"""Prints the constants of the carry-less multiplication CRC-32 kernels.

The CRC is reflected (polynomial 0xEDB88320), so every constant is computed
on the normal polynomial P = x^32 + 0x04C11DB7, then bit-reflected over 32
bits and shifted left by one: a carry-less product of two reflected values
comes out one bit short, and the shift puts it back.

Folding a 128-bit lane forward by D bits multiplies its two 64-bit halves by
x^(D+32) mod P and x^(D-32) mod P. The final steps take 128 bits to 64 with
x^64 mod P and 64 to 32 with a Barrett reduction by mu = floor(x^64 / P).

    python3 checksum/crc32_constants.py
"""

P = (1 << 32) | 0x04C11DB7


def xpow_mod_p(n):
    r = 1
    for _ in range(n):
        r <<= 1
        if r >> 32:
            r ^= P
    return r


def reflect(value, bits):
    return int(format(value, "0%db" % bits)[::-1], 2)


def fold_constant(n):
    return reflect(xpow_mod_p(n), 32) << 1


def barrett_mu():
    quotient, rest = 0, 1 << 64
    while rest.bit_length() >= P.bit_length():
        shift = rest.bit_length() - P.bit_length()
        quotient |= 1 << shift
        rest ^= P << shift
    return quotient


def main():
    for distance in (2048, 1024, 512, 256, 128):
        print("fold by %4d bits: {0x%010x, 0x%010x}"
              % (distance, fold_constant(distance + 32), fold_constant(distance - 32)))
    print("128 to 64 bits:   {0x%010x}" % fold_constant(64))
    print("Barrett:          P' = 0x%010x, mu = 0x%010x"
          % (reflect(P, 33), reflect(barrett_mu(), 33)))


if __name__ == "__main__":
    main()
