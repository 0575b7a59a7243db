# Runs a three-replicate study with TRUTH= and CSV= and reads both files with read.csv: row
# counts, column names, histories kept as text (leading zeros), and per replicate the CSV
# frequencies adding up to the records of that replicate's output file. Then expected values
# with MINFREQ=0: the histories, read with their 15 digits, hold every expected capture of
# TRUTH= (four decimals would miss by about 1e-5).
args <- commandArgs(trailingOnly = TRUE)
binary <- normalizePath(args[1])
work <- tempfile("plovanet_r")
dir.create(work)
on.exit(unlink(work, recursive = TRUE))
nper <- 4; datasets <- 2; reps <- 3
writeLines(c("4", "200 40 40 40", "0.8 0.7 0.9", "0.9 0.8 0.95", "0.3 0.4 0.35 0.5",
             "0.4 0.5 0.45 0.6", "150 0 0 0", "0.6 0.6 0.6", "1 1 1", "0.2 0.3 0.2 0.3",
             "0.3 0.3 0.3 0.3"), file.path(work, "plovanet.txt"))
old <- setwd(work)
status <- system2(binary, c("STOCHASTIC", "SEED=99", paste0("REPS=", reps), "OUT=sim.out",
                            "TRUTH=truth.csv", "CSV=hist.csv"), stdout = FALSE, stderr = FALSE)
setwd(old)
fail <- function(...) { cat("read_study.R:", ..., "\n"); quit(status = 1) }
if (status != 0) fail("plovanet ended with status", status)

truth <- read.csv(file.path(work, "truth.csv"))
want <- c("rep", "dataset", "group", "class", "occasion", "seed", "entrants", "alive", "marked",
          "captured", "newly_marked", "tags_lost")
if (!identical(names(truth), want)) fail("TRUTH columns", names(truth))
if (nrow(truth) != reps * datasets * nper) fail("TRUTH has", nrow(truth), "rows")
if (!all(truth$seed == 99)) fail("TRUTH seeds", unique(truth$seed))

hist <- read.csv(file.path(work, "hist.csv"), colClasses = c(ch = "character"))
if (!identical(names(hist), c("rep", "dataset", "group", "ch", "freq"))) fail("CSV columns", names(hist))
if (!all(nchar(hist$ch) == nper & grepl("^[01]+$", hist$ch))) fail("a history lost its digits")
if (!any(startsWith(hist$ch, "0"))) fail("no history with a leading zero")

records <- 0
for (rep in seq_len(reps)) {
  lines <- readLines(file.path(work, sprintf("sim_%04d.out", rep)))
  freq <- as.numeric(sub(";$", "", sapply(strsplit(trimws(lines), " +"), `[`, 2)))
  records <- records + length(lines)
  mine <- hist[hist$rep == rep, ]
  if (abs(sum(mine$freq) - sum(freq)) > 1e-6)
    fail("replicate", rep, ": CSV sums to", sum(mine$freq), ", the output file to", sum(freq))
  caught <- sum(mine$freq * nchar(gsub("0", "", mine$ch)))
  if (abs(sum(truth$captured[truth$rep == rep]) - caught) > 1e-6)
    fail("replicate", rep, ": TRUTH captured differs from the histories")
}
if (records != nrow(hist)) fail("CSV has", nrow(hist), "rows, the output files", records, "records")

old <- setwd(work)
status <- system2(binary, c("OUT=exp.out", "TRUTH=etruth.csv", "CSV=ehist.csv", "MINFREQ=0"),
                  stdout = FALSE, stderr = FALSE)
setwd(old)
if (status != 0) fail("the expected-value run ended with status", status)
etruth <- read.csv(file.path(work, "etruth.csv"))
ehist <- read.csv(file.path(work, "ehist.csv"), colClasses = c(ch = "character"))
if (!is.numeric(ehist$freq)) fail("frequencies not read as numbers")
for (d in unique(etruth$dataset)) {
  caught <- sum(with(ehist[ehist$dataset == d, ], freq * nchar(gsub("0", "", ch))))
  want <- sum(etruth$captured[etruth$dataset == d])
  if (abs(caught - want) > 1e-9 * want) fail("data set", d, ": histories hold", caught, "captures of", want)
}
cat("read_study.R:", nrow(truth), "TRUTH rows,", nrow(hist), "CSV rows,", nrow(ehist), "expected rows read\n")
