Example Mobile: one page behind HTTP Basic authorization with the page login and password. The
figures are data for the page's own script, so a pattern script reads the credit and an info
script the plan and what is left of it.

[COMMON]
list_name=Example mobile operators

[Example Mobile prepaid]
unique_id=EXAMPLE_MOBILE_PREPAID
group_name=Example Mobile
need_auth=yes
page_url=http://mobile.example/account?nocache={RAND}
pattern=js:mobile-balance.js
info_script=mobile-info.js
