# --help and -h print the usage text, then the keywords it does not show, and where the manual
# is; --version the version. Both end with status 0, run nothing and touch no file (there is
# no plovanet.txt here, and no plovanet.out is made).
"$PLOVANET" --help
echo "status $?"
"$PLOVANET" -h > h.txt
echo "-h: status $?"
"$PLOVANET" --help > help.txt
cmp h.txt help.txt && echo "-h prints the same"
"$PLOVANET" STOCHASTIC OUT=x.out -h > h2.txt
cmp h.txt h2.txt && echo "-h among other arguments prints the same"
"$PLOVANET" --version
echo "status $?"
"$PLOVANET" > run.txt 2> /dev/null
head -n 21 run.txt > usage.txt
head -n 21 help.txt | cmp - usage.txt && echo "the help begins with the usage text"
rm h.txt help.txt h2.txt run.txt usage.txt
ls
