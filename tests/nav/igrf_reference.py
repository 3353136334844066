#!/usr/bin/env python3
"""Reference magnetic declinations for the navigation tests, computed apart from the library.

Reads the published coefficient list (igrf10-2005.txt of the shared data), builds the scalar
potential from unnormalised associated Legendre functions with explicit Schmidt factors, and takes
the field as minus its gradient by central differences. The ellipsoid conversion goes through
Cartesian coordinates. Nothing here shares code or formulas with the library's recursion.

Usage: igrf_reference.py [coefficient file]   (prints C++ table rows for MagVarTest.cpp)
"""
import math
import os
import sys
from datetime import date

A_REF = 6371.2  # reference radius of the model, km
A_ELL = 6378.16  # ellipsoid of the library's geodetic positions, km
B_ELL = 6356.774719


def load(path):
    g, h, gt, ht = {}, {}, {}, {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if not parts or parts[0].startswith('#'):
                continue
            kind, n, m, value, rate = parts[0], int(parts[1]), int(parts[2]), float(parts[3]), float(parts[4])
            (g if kind == 'g' else h)[(n, m)] = value
            (gt if kind == 'g' else ht)[(n, m)] = rate
    return g, h, gt, ht


def legendre(n, m, x):
    """Associated Legendre function P_n^m(x) without the Condon-Shortley phase."""
    pmm = 1.0
    s = math.sqrt(max(0.0, 1.0 - x * x))
    for k in range(1, m + 1):
        pmm *= (2 * k - 1) * s
    if n == m:
        return pmm
    p1 = x * (2 * m + 1) * pmm
    if n == m + 1:
        return p1
    p0 = pmm
    for k in range(m + 2, n + 1):
        p0, p1 = p1, ((2 * k - 1) * x * p1 - (k + m - 1) * p0) / (k - m)
    return p1


def schmidt(n, m, x):
    if m == 0:
        return legendre(n, 0, x)
    return math.sqrt(2.0 * math.factorial(n - m) / math.factorial(n + m)) * legendre(n, m, x)


def potential(coeffs, years, r, theta, phi):
    g, h, gt, ht = coeffs
    x = math.cos(theta)
    total = 0.0
    for n in range(1, 14):
        ratio = (A_REF / r) ** (n + 1)
        for m in range(0, n + 1):
            gnm = g.get((n, m), 0.0) + years * gt.get((n, m), 0.0)
            hnm = h.get((n, m), 0.0) + years * ht.get((n, m), 0.0)
            total += ratio * (gnm * math.cos(m * phi) + hnm * math.sin(m * phi)) * schmidt(n, m, x)
    return A_REF * total


def declination(coeffs, lat_deg, lon_deg, day):
    lat = math.radians(lat_deg)
    lon = math.radians(lon_deg)
    # Geodetic position on the ellipsoid (height 0) to geocentric r and colatitude.
    a2, b2 = A_ELL * A_ELL, B_ELL * B_ELL
    nu = a2 / math.sqrt(a2 * math.cos(lat) ** 2 + b2 * math.sin(lat) ** 2)
    rho = nu * math.cos(lat)
    z = nu * b2 / a2 * math.sin(lat)
    r = math.hypot(rho, z)
    theta = math.atan2(rho, z)
    years = (day - date(2005, 1, 1)).days / 365.25

    dr, dt, dp = 1e-3, 1e-6, 1e-6
    V = lambda rr, tt, pp: potential(coeffs, years, rr, tt, pp)
    b_r = -(V(r + dr, theta, lon) - V(r - dr, theta, lon)) / (2 * dr)
    b_t = -(V(r, theta + dt, lon) - V(r, theta - dt, lon)) / (2 * dt) / r
    b_p = -(V(r, theta, lon + dp) - V(r, theta, lon - dp)) / (2 * dp) / (r * math.sin(theta))
    # Geocentric north, east, down; then turned by the geodetic-geocentric latitude difference.
    north_c, east, down_c = -b_t, b_p, -b_r
    delta = lat - (math.pi / 2 - theta)
    north = north_c * math.cos(delta) + down_c * math.sin(delta)
    return math.degrees(math.atan2(east, north))


PLACES = [
    ("Southampton", 50.90, -1.40),
    ("New York", 40.70, -74.00),
    ("Sydney", -33.86, 151.21),
    ("Cape Town", -33.92, 18.42),
    ("Tokyo", 35.68, 139.77),
    ("Honolulu", 21.31, -157.86),
    ("Reykjavik", 64.15, -21.94),
    ("Rio de Janeiro", -22.91, -43.17),
    ("Anchorage", 61.22, -149.90),
    ("Singapore", 1.29, 103.85),
    ("Auckland", -36.85, 174.76),
    ("Resolute", 74.70, -94.83),
    ("South Atlantic", -50.00, -30.00),
    ("Date line north", 30.00, 179.90),
    ("Date line south", -20.00, -179.90),
    ("Ross Sea", -77.00, 170.00),
]
DATES = [date(2005, 1, 1), date(2006, 7, 15), date(2008, 2, 29), date(2010, 12, 31)]


def main():
    default = os.path.join(os.path.dirname(__file__), '..', '..', '..', 'shared', 'data', 'igrf10-2005.txt')
    coeffs = load(sys.argv[1] if len(sys.argv) > 1 else default)
    for i, (name, lat, lon) in enumerate(PLACES):
        day = DATES[i % len(DATES)]
        other = DATES[(i + 2) % len(DATES)]
        for d in (day, other):
            print('    {%.2f, %.2f, %d, %d, %d, %.4f}, // %s' % (lat, lon, d.year, d.month, d.day,
                                                                  declination(coeffs, lat, lon, d), name))


if __name__ == '__main__':
    main()
