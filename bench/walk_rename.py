"""What a user might write instead: os.walk and a rename into the root."""
import os
import sys

root = sys.argv[1]
for directory, _, files in os.walk(root, topdown=False):
    if directory == root:
        continue
    for name in files:
        os.rename(os.path.join(directory, name), os.path.join(root, name))
