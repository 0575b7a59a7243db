# write_mark(): a replicate in the program's MARK layout, byte for byte.

write_mark <- function(x, file, rep = NULL) {
  study <- attr(x, "study")
  if (is.null(study)) stop("x is not what plovanet_study() returned", call. = FALSE)
  if (is.null(rep)) rep <- study$first_rep
  if (rep < study$first_rep || rep >= study$first_rep + study$reps) {
    stop("x has no replicate ", rep, call. = FALSE)
  }
  # A replicate depends on the seed and its number only, so running it alone gives its file; a
  # single run with RNG=PCG is replicate 1.
  kw <- c(study$keywords, "MARK", if (study$reps > 1 || study$first_rep > 1) paste0("FIRSTREP=", rep))
  bytes <- .plovanet_run(study$text, kw, FALSE, TRUE)$output
  # Written beside the file and renamed over it, so a failure leaves no half-written file.
  part <- tempfile(".plovanet", tmpdir = dirname(file))
  on.exit(unlink(part))
  con <- file(part, "wb")
  writeChar(bytes, con, eos = NULL, useBytes = TRUE)
  close(con)
  if (!file.rename(part, file)) stop("cannot write ", file, call. = FALSE)
  invisible(file)
}
