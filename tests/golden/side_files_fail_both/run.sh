# Both side files run into a file-size limit (as on a full disk): each is reported by name,
# neither is put in place (the earlier files stay) and no temporary file is left.
(ulimit -f 10; exec "$PLOVANET" IN=p.txt OUT=/dev/null TRUTH=t.csv CSV=h.csv) | tail -n 2
echo "status ${PIPESTATUS[0]}, files: $(ls -A | tr '\n' ' ')"
