"""The same job done the usual way in Python, with pyserial."""
import sys
import time

import serial

try:
    port = serial.Serial("/dev/ttyACM0", 19200, bytesize=8, parity="N", stopbits=1)
except serial.SerialException:
    print("[SERIAL PORT OPEN ERRROR]")
    sys.exit(255)
sent = port.write(b"\x80\xff\xaa\x29")
time.sleep(0.1)
print("[SERIAL PORT WRITE SUCCESS]" if sent == 4 else "[SERIAL PORT WRITE ERRROR]")
port.close()
sys.exit(0 if sent == 4 else 255)
