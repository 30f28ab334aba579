"""What a run needs to know, from the environment CTest sets (tests/e2e/CMakeLists.txt)."""

import os
from dataclasses import dataclass


@dataclass(frozen=True)
class Config:
    program_dir: str     # the build's ready program folder; only ever copied, never written
    shop_script: str     # tools/shop/shop.py
    artefacts: str       # where each test keeps its screenshots, logs and scratch folders
    http_port: int       # the shop's ports compiled into the programs
    ftp_port: int
    version: str         # the version the built client reports
    next_program_dir: str   # the build's second program folder, the next release: only ever copied
    next_version: str       # the version its client reports
    road_limit: float    # seconds after which a whole road is stopped

    @staticmethod
    def from_environment():
        def need(name):
            value = os.environ.get(name)
            if not value:
                raise RuntimeError("%s is not set; run the end-to-end tests through ctest" % name)
            return value
        host = need("QUORVEL_E2E_SHOP_HOST")
        http_port = int(host.rpartition(":")[2]) if ":" in host else 80
        return Config(program_dir=need("QUORVEL_E2E_PROGRAM_DIR"),
                      shop_script=need("QUORVEL_E2E_SHOP"),
                      artefacts=need("QUORVEL_E2E_ARTEFACTS"),
                      http_port=http_port,
                      ftp_port=int(need("QUORVEL_E2E_FTP_PORT")),
                      version=need("QUORVEL_E2E_VERSION"),
                      next_program_dir=need("QUORVEL_E2E_NEXT_PROGRAM_DIR"),
                      next_version=need("QUORVEL_E2E_NEXT_VERSION"),
                      road_limit=float(os.environ.get("QUORVEL_E2E_ROAD_LIMIT", "300")))
