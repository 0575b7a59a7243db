# Standard input and output closed: the output file must not receive the console text.
"$PLOVANET" IN=p.txt OUT=o.out MARK <&- >&-
echo "status $?"
